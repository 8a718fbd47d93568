package a.b.a.a;

/**
 * Main class of the start-up benchmarks. Its constructor prints the monotonic clock (the same
 * clock the benchmark reads before it starts the process) and halts at once, so a start is
 * measured up to the moment the application would begin. main() lets the JDK's own launcher
 * start the same class from the same jars.
 */
public class a {
    public static native int shexec(String file);

    public static native String gC();

    public static native byte[] gK();

    public static native String gPC();

    public static native String gS();

    public static native ClassLoader gSVCL();

    public static native int rW(String title);

    public static native void uW(int ignored);

    public static native void rN(Class target);

    public a() {
        long now = System.nanoTime();
        System.out.println("constructed " + now + " " + inc.Include.name());
        System.out.flush();
        Runtime.getRuntime().halt(0);
    }

    public static void main(String[] args) {
        new a();
    }
}
