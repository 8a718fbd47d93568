// What the Java harnesses of the tests and the benchmarks share for making jars: minimal class
// files, and signing through tools/vistal-sign.sh (its path in the system property
// "vistal.sign"), so that jars are signed the way a vendor signs them; and what they ask of the
// loaders that load them, and the removal of their work directories.

import java.io.ByteArrayOutputStream;
import java.io.DataOutputStream;
import java.io.File;
import java.io.IOException;
import java.lang.reflect.Field;
import java.lang.reflect.Method;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;

public final class TestJars {
    private TestJars() {}

    // A minimal class file (version 50.0): public, extends Object, optionally one static int
    // field whose name tells copies apart.
    public static byte[] classFile(String dottedName, String fieldName) throws IOException {
        ByteArrayOutputStream bytes = new ByteArrayOutputStream();
        DataOutputStream out = new DataOutputStream(bytes);
        out.writeInt(0xCAFEBABE);
        out.writeShort(0);
        out.writeShort(50);
        out.writeShort(fieldName == null ? 5 : 7);
        out.writeByte(1);
        out.writeUTF(dottedName.replace('.', '/'));
        out.writeByte(7);
        out.writeShort(1);
        out.writeByte(1);
        out.writeUTF("java/lang/Object");
        out.writeByte(7);
        out.writeShort(3);
        if (fieldName != null) {
            out.writeByte(1);
            out.writeUTF(fieldName);
            out.writeByte(1);
            out.writeUTF("I");
        }
        out.writeShort(0x21); // ACC_PUBLIC | ACC_SUPER
        out.writeShort(2);
        out.writeShort(4);
        out.writeShort(0);
        out.writeShort(fieldName == null ? 0 : 1);
        if (fieldName != null) {
            out.writeShort(0x09); // public static
            out.writeShort(5);
            out.writeShort(6);
            out.writeShort(0);
        }
        out.writeShort(0);
        out.writeShort(0);
        return bytes.toByteArray();
    }

    // Signs `jar` in place with `alias` of `keystore` (password `storepass`); `jarsignerOptions`
    // go to jarsigner as they are.
    public static void sign(String keystore, String storepass, String jar, String alias,
                            String... jarsignerOptions) throws Exception {
        List<String> argv = new ArrayList<>(Arrays.asList("bash", System.getProperty("vistal.sign"), "sign",
                                                          keystore, jar, "--alias", alias, "--"));
        argv.addAll(Arrays.asList(jarsignerOptions));
        ProcessBuilder builder = new ProcessBuilder(argv).redirectErrorStream(true);
        builder.environment().put("VISTAL_JDK_HOME", System.getProperty("java.home"));
        builder.environment().put("VISTAL_STOREPASS", storepass);
        Process p = builder.start();
        String output = new String(p.getInputStream().readAllBytes(), "UTF-8");
        if (p.waitFor() != 0)
            throw new IOException(String.join(" ", argv) + " failed:\n" + output);
    }

    // Whether `l` has defined the class `name` (without asking it to load the class).
    public static boolean defined(ClassLoader l, String name) throws Exception {
        Method m = ClassLoader.class.getDeclaredMethod("findLoadedClass", String.class);
        m.setAccessible(true);
        return m.invoke(l, name) != null;
    }

    // Whether `c` declares a field `name`: tells apart builds of a class.
    public static boolean hasField(Class<?> c, String name) {
        for (Field f : c.getDeclaredFields())
            if (f.getName().equals(name))
                return true;
        return false;
    }

    // Removes `f` and, unless it is a link, everything below it.
    public static void deleteTree(File f) {
        File[] children = f.listFiles();
        if (children != null && !Files.isSymbolicLink(f.toPath()))
            for (File c : children)
                deleteTree(c);
        f.delete();
    }

    // Loads the launcher's loader natives when the system property "vistal.loader.natives" names
    // their library, before the loader class is first used, and says which checks the loader
    // then uses: "native" or "jdk". A library that fails to register them fails the harness.
    public static String loaderChecks(String loaderClass) throws Exception {
        String library = System.getProperty("vistal.loader.natives");
        if (library != null)
            System.load(library);
        Class<?> c = Class.forName(loaderClass);
        Object loader = c.getConstructor(ClassLoader.class).newInstance(ClassLoader.getSystemClassLoader());
        java.lang.reflect.Field f = c.getDeclaredField("checksNatively");
        f.setAccessible(true);
        boolean isNative = f.getBoolean(loader);
        if (isNative != (library != null))
            throw new IllegalStateException("the loader's natives are " + (isNative ? "" : "not ") + "registered");
        return isNative ? "native" : "jdk";
    }
}
