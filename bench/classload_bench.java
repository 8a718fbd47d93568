// Class loading from a signed jar: the signature-validating loader against the JDK's own
// URLClassLoader over the same signed jar, and URLClassLoader over the same classes unsigned.
// Each measurement builds a fresh loader and loads every class of the jar by name; the three
// take turns within a round and the order rotates from round to round.
//
//   java -cp <loader classes>:<test support classes> -Dvistal.sign=tools/vistal-sign.sh \
//       classload_bench.java KEYSTORE.p12 WORKDIR [--classes N] [--runs R]
//
// With -Dvistal.loader.natives=<the natives' library> (tests/security builds it as
// libvistal_loader_natives_jni.so) the loader checks jars through the launcher's natives, as in a
// launcher's start; without, through the JDK's verifying reader. The first line says which.
//
// KEYSTORE.p12 is the build's development key (alias "vistal", storepass "vistal-dev"). The test
// support classes (tests/support/TestJars.java) are built into <build>/tests/java-support.

import java.io.File;
import java.io.FileInputStream;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.lang.management.ManagementFactory;
import java.lang.management.ThreadMXBean;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.file.Files;
import java.nio.file.StandardCopyOption;
import java.security.KeyStore;
import java.security.MessageDigest;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.jar.Attributes;
import java.util.jar.JarOutputStream;
import java.util.jar.Manifest;
import java.util.zip.ZipEntry;

public class classload_bench {
    static final String PASS = "vistal-dev";
    static final String LOADER = "com.tolvane.classloader.SignatureValidatingClassLoader";
    static final ThreadMXBean THREADS = ManagementFactory.getThreadMXBean();
    // CPU of every thread of the process: the loading thread's plus the collector's and the
    // compiler's work that the loading causes.
    static final com.sun.management.OperatingSystemMXBean OS =
        (com.sun.management.OperatingSystemMXBean) ManagementFactory.getOperatingSystemMXBean();

    interface Maker {
        ClassLoader make() throws Exception;
    }

    static final class Contender {
        final String name;
        final Maker maker;
        final List<Double> wall = new ArrayList<>();
        final List<Double> cpu = new ArrayList<>();
        final List<Double> processCpu = new ArrayList<>();

        Contender(String name, Maker maker) {
            this.name = name;
            this.maker = maker;
        }
    }

    public static void main(String[] args) throws Exception {
        String checks = TestJars.loaderChecks(LOADER);
        System.out.println("the loader's checks: " + checks);
        String keystore = args[0];
        File dir = new File(args[1]);
        int classes = 10000;
        int runs = 7;
        for (int i = 2; i + 1 < args.length; i += 2) {
            if (args[i].equals("--classes"))
                classes = Integer.parseInt(args[i + 1]);
            else if (args[i].equals("--runs"))
                runs = Integer.parseInt(args[i + 1]);
        }
        dir.mkdirs();
        File signed = new File(dir, "bench-signed.jar");
        File unsigned = new File(dir, "bench-unsigned.jar");
        makeJars(classes, keystore, signed, unsigned);
        byte[] digest = MessageDigest.getInstance("SHA-1").digest(certificate(keystore));

        String[] names = new String[classes];
        for (int i = 0; i < classes; i++)
            names[i] = className(i);

        Class<?> loaderClass = Class.forName(LOADER);
        ClassLoader parent = ClassLoader.getSystemClassLoader();
        URL signedUrl = signed.toURI().toURL();
        URL unsignedUrl = unsigned.toURI().toURL();
        List<Contender> contenders = Arrays.asList(
            new Contender("signature-validating loader (" + checks + "), signed jar", () -> {
                ClassLoader l = (ClassLoader) loaderClass.getConstructor(ClassLoader.class).newInstance(parent);
                loaderClass.getMethod("setJarPaths", String[].class, byte[].class)
                    .invoke(l, new String[] {signed.getPath()}, digest);
                return l;
            }),
            new Contender("URLClassLoader, signed jar", () -> new URLClassLoader(new URL[] {signedUrl}, parent)),
            new Contender("URLClassLoader, unsigned jar", () -> new URLClassLoader(new URL[] {unsignedUrl}, parent)));

        // Warm-up: the JIT compiles the paths of all three before anything counts.
        for (int i = 0; i < 3; i++)
            for (Contender c : contenders)
                measure(c, names);
        for (Contender c : contenders) {
            c.wall.clear();
            c.cpu.clear();
            c.processCpu.clear();
        }

        for (int run = 0; run < runs; run++) {
            for (int k = 0; k < contenders.size(); k++) {
                Contender c = contenders.get((run + k) % contenders.size());
                double[] t = measure(c, names);
                c.wall.add(t[0]);
                c.cpu.add(t[1]);
                c.processCpu.add(t[2]);
            }
        }

        System.out.printf("%d classes, %d runs each, JDK %s, %d CPUs%n", classes, runs,
                          System.getProperty("java.version"), Runtime.getRuntime().availableProcessors());
        for (Contender c : contenders)
            System.out.printf("%-42s median %7.1f ms wall %7.1f ms CPU %7.1f ms process CPU  (wall: %s; CPU: %s)%n",
                              c.name, median(c.wall), median(c.cpu), median(c.processCpu), format(c.wall),
                              format(c.cpu));
        Contender svcl = contenders.get(0), url = contenders.get(1);
        Contender plain = contenders.get(2);
        System.out.printf("ratio loader / URLClassLoader (signed): %.2f wall, %.2f CPU%n",
                          median(svcl.wall) / median(url.wall), median(svcl.cpu) / median(url.cpu));
        System.out.printf("ratio loader / URLClassLoader (unsigned): %.2f wall, %.2f CPU, %.2f process CPU%n",
                          median(svcl.wall) / median(plain.wall), median(svcl.cpu) / median(plain.cpu),
                          median(svcl.processCpu) / median(plain.processCpu));
    }

    // Wall, thread CPU and process CPU milliseconds for a fresh loader and every class of the jar.
    static double[] measure(Contender c, String[] names) throws Exception {
        System.gc();
        long process0 = OS.getProcessCpuTime();
        long cpu0 = THREADS.getCurrentThreadCpuTime();
        long wall0 = System.nanoTime();
        ClassLoader l = c.maker.make();
        for (String name : names)
            if (l.loadClass(name) == null)
                throw new IllegalStateException(name);
        long wall = System.nanoTime() - wall0;
        long cpu = THREADS.getCurrentThreadCpuTime() - cpu0;
        long process = OS.getProcessCpuTime() - process0;
        if (l instanceof java.io.Closeable)
            ((java.io.Closeable) l).close();
        return new double[] {wall / 1e6, cpu / 1e6, process / 1e6};
    }

    static double median(List<Double> values) {
        double[] v = values.stream().mapToDouble(Double::doubleValue).sorted().toArray();
        return v.length % 2 == 1 ? v[v.length / 2] : (v[v.length / 2 - 1] + v[v.length / 2]) / 2;
    }

    static String format(List<Double> values) {
        StringBuilder s = new StringBuilder();
        for (double v : values)
            s.append(s.length() == 0 ? "" : " ").append(String.format("%.0f", v));
        return s.toString();
    }

    static String className(int i) {
        return String.format("bench.gen.C%05d", i);
    }

    static byte[] certificate(String keystore) throws Exception {
        KeyStore ks = KeyStore.getInstance("PKCS12");
        try (InputStream in = new FileInputStream(keystore)) {
            ks.load(in, PASS.toCharArray());
        }
        return ks.getCertificate("vistal").getEncoded();
    }

    static void makeJars(int classes, String keystore, File signed, File unsigned) throws Exception {
        Manifest manifest = new Manifest();
        manifest.getMainAttributes().put(Attributes.Name.MANIFEST_VERSION, "1.0");
        try (JarOutputStream jar = new JarOutputStream(new FileOutputStream(unsigned), manifest)) {
            for (int i = 0; i < classes; i++) {
                jar.putNextEntry(new ZipEntry(className(i).replace('.', '/') + ".class"));
                jar.write(TestJars.classFile(className(i), "value"));
                jar.closeEntry();
            }
        }
        Files.copy(unsigned.toPath(), signed.toPath(), StandardCopyOption.REPLACE_EXISTING);
        TestJars.sign(keystore, PASS, signed.getPath(), "vistal");
    }
}
