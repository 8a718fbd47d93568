package a.b.a.a;

/**
 * A vendor's main class for Debian's GPS track editor, written as docs/DEPLOYMENT.md tells: it
 * declares the launcher's natives, starts the application's own main, and keeps the constructor
 * running while the application runs, since the launcher ends the process when it returns. The
 * application ends itself through System.exit when its window closes.
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

    public a() throws Exception {
        tim.prune.GpsPrune.main(new String[0]);
        Thread.currentThread().join();
    }
}
