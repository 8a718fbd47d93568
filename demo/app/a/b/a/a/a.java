package a.b.a.a;

import demo.Report;

// The demo application's main class. The launcher constructs it; the application runs inside
// the constructor. It declares the natives the launcher provides.
public class a {
    public native int shexec(String file);
    public native String gC();
    public native byte[] gK();
    public native String gPC();
    public native String gS();
    public native ClassLoader gSVCL();
    public native int rW(String title);
    public native void uW(int ignored);
    public native void rN(Class<?> target);

    public a() throws Exception {
        Report report = new Report(Release.VERSION);
        report.add("data directory (gC)", gC());
        report.add("update server (gS)", gS());
        report.add("key block (gK)", gK().length + " bytes");
        report.add("class name (gPC)", gPC());
        ClassLoader fresh = gSVCL();
        report.add("fresh loader (gSVCL)", fresh == null ? "none" : fresh.loadClass("demo.Report").getName() + " loads");
        report.add("loaded by", getClass().getClassLoader().getClass().getName());
        report.show();
    }
}
