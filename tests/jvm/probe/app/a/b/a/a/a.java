package a.b.a.a;

import java.io.File;
import java.io.FileOutputStream;
import java.io.InputStream;
import java.net.URL;
import java.util.ArrayList;
import java.util.Enumeration;
import java.util.List;
import java.util.ServiceLoader;

/**
 * The probe: a main class that asks of the launcher what an application asks of the JDK's own
 * launcher, and writes one line per question ("ok name" or "FAIL name: why") to probe.txt in the
 * install directory, which it finds through its code source. A shutdown hook writes hook.txt;
 * when the install directory holds a file "throw", the constructor throws after the questions.
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

    private final StringBuilder report = new StringBuilder();

    public a() throws Exception {
        final File install = new File(a.class.getProtectionDomain().getCodeSource().getLocation().toURI())
            .getParentFile().getParentFile();
        Runtime.getRuntime().addShutdownHook(new Thread() {
            public void run() {
                write(new File(install, "hook.txt"), "hook ran\n");
            }
        });
        final ClassLoader mine = a.class.getClassLoader();

        final ClassLoader[] seen = new ClassLoader[1];
        Thread started = new Thread() {
            public void run() {
                seen[0] = Thread.currentThread().getContextClassLoader();
            }
        };
        started.start();
        started.join();
        check("context-loader", Thread.currentThread().getContextClassLoader() == mine && seen[0] == mine,
              Thread.currentThread().getContextClassLoader() + " / " + seen[0]);

        List<String> providers = new ArrayList<String>();
        for (probe.Service s : ServiceLoader.load(probe.Service.class)) {
            providers.add(s.getClass().getName());
        }
        check("service-loader", providers.toString().equals("[probe.FromApp, probe.FromInclude]"), providers.toString());
        List<String> jars = new ArrayList<String>();
        for (Enumeration<URL> e = mine.getResources("META-INF/services/probe.Service"); e.hasMoreElements();) {
            String url = e.nextElement().toString();
            jars.add(url.substring(url.lastIndexOf('/', url.indexOf("!/")) + 1, url.indexOf("!/")));
        }
        check("get-resources", jars.toString().equals("[bl.jar, include.jar]"), jars.toString());

        URL data = mine.getResource("probe/data.txt");
        String content = read(mine.getResourceAsStream("probe/data.txt"));
        check("resource-url", data != null && new File(data.toURI().getSchemeSpecificPart().replaceFirst("^file:", "")
                  .replaceFirst("!/.*", "")).equals(new File(install, "lib/bl.jar"))
                  && read(data.openStream()).equals("data") && content.equals("data"), data + " " + content);

        java.security.CodeSource source = a.class.getProtectionDomain().getCodeSource();
        java.security.cert.Certificate[] certificates = source.getCertificates();
        java.security.CodeSigner[] signers = source.getCodeSigners();
        check("code-source", new File(install, "lib/bl.jar").equals(new File(source.getLocation().toURI()))
                  && certificates.length > 0 && certificates[0] instanceof java.security.cert.X509Certificate
                  && ((java.security.cert.X509Certificate) certificates[0]).getSubjectX500Principal() != null
                  && signers.length == 1
                  && signers[0].getSignerCertPath().getCertificates().get(0).equals(certificates[0]),
              String.valueOf(source));
        Package p = a.class.getPackage();
        check("package", "9.8.7".equals(p.getImplementationVersion()) && "Probe".equals(p.getImplementationTitle())
                  && "Probe Vendor".equals(p.getImplementationVendor()), String.valueOf(p));
        String manifest = read(mine.getResourceAsStream("META-INF/MANIFEST.MF"));
        check("manifest", manifest.contains("Implementation-Version: 9.8.7"), manifest);

        check("multi-release", new probe.Versioned().toString().equals("versioned"), new probe.Versioned().toString());

        String modules = "";
        for (String name : new String[] {"com.sun.tools.javac.Main", "com.sun.tools.attach.VirtualMachine",
                                         "jdk.jshell.JShell", "javax.swing.JFrame", "java.sql.Date"}) {
            try {
                Class.forName(name, false, mine);
            } catch (Throwable t) {
                modules += " " + t;
            }
        }
        check("runtime-modules", modules.isEmpty(), modules);

        write(new File(install, "probe.txt"), report.toString());
        if (new File(install, "throw").exists()) {
            throw new IllegalStateException("probe failed on purpose");
        }
    }

    private void check(String name, boolean ok, String detail) {
        report.append(ok ? "ok " + name + "\n" : "FAIL " + name + ": " + detail + "\n");
    }

    private static String read(InputStream in) throws Exception {
        if (in == null) {
            return "(none)";
        }
        try {
            byte[] buffer = new byte[4096];
            StringBuilder text = new StringBuilder();
            for (int n = in.read(buffer); n >= 0; n = in.read(buffer)) {
                text.append(new String(buffer, 0, n, "UTF-8"));
            }
            return text.toString();
        } finally {
            in.close();
        }
    }

    private static void write(File file, String text) {
        try {
            FileOutputStream out = new FileOutputStream(file);
            try {
                out.write(text.getBytes("UTF-8"));
            } finally {
                out.close();
            }
        } catch (Exception e) {
            e.printStackTrace();
        }
    }
}
