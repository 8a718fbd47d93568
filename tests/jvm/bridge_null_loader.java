// A loader whose loadClass answers null without throwing, for the bridge's "cls == NULL" road.
class NullLoader extends com.tolvane.classloader.SignatureValidatingClassLoader {
    NullLoader(ClassLoader parent) throws Exception {
        super(parent);
    }

    public Class loadClass(String name) {
        return null;
    }
}
