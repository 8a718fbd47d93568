// The probe application (probe/) started by the real test launcher with a real VM, offline, from
// an install directory whose path holds a space, a "%" and a "#". The probe's jars are built and
// signed here exactly as for the JDK's own launcher; the probe writes one line per question it
// asks (probe.txt), its shutdown hook writes hook.txt.
//
//   java -cp <java support> probe_app_test.java <test launcher> <dev keystore.p12> <JDK> <work dir>
//        <probe sources>
//
// Prints one line per check and "N passed, N failed"; exit code 1 when a check failed.

import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.TimeUnit;
import java.util.jar.Attributes;
import java.util.jar.JarEntry;
import java.util.jar.JarOutputStream;
import java.util.jar.Manifest;
import javax.tools.ToolProvider;

public class probe_app_test {
    static String launcher, keystore, jdk;
    static File work, install;

    public static void main(String[] args) throws Exception {
        launcher = args[0];
        keystore = args[1];
        jdk = args[2];
        work = new File(args[3]).getAbsoluteFile();
        TestJars.deleteTree(work);
        install = new File(work, "probe dir %41 #1");
        new File(install, "lib").mkdirs();
        buildJars(new File(args[4]));
        Files.copy(new File(launcher).toPath(), new File(install, "vistal").toPath());
        new File(install, "vistal").setExecutable(true);
        Files.createSymbolicLink(new File(install, "jre").toPath(), new File(jdk).toPath());

        Checks.run("the application finds its loader, services, resources, code source, package, manifest, "
                       + "versioned classes and the runtime's modules as under the JDK's launcher",
                   probe_app_test::asUnderJava);
        Checks.run("a failed application ends with 1 after the dialog; shutdown hooks run either way",
                   probe_app_test::ending);
        Checks.exit();
    }

    static void asUnderJava() throws Exception {
        Result r = start();
        String report = read(new File(install, "probe.txt"));
        Checks.expect(!report.isEmpty() && !report.contains("FAIL"), "the probe's report:\n" + report + r.err);
        Checks.expectEquals(0, r.code, "exit code; standard error:\n" + r.err);
        Checks.expectEquals("hook ran\n", read(new File(install, "hook.txt")), "the shutdown hook");
        // The two Class-Path entries out of the application's directories: one line each.
        long refused = r.err.lines().filter(l -> l.contains("Class-Path entry refused")).count();
        Checks.expect(refused == 2 && r.err.lines().count() == 2, "one line per refused entry:\n" + r.err);
    }

    static void ending() throws Exception {
        new File(install, "hook.txt").delete();
        File marker = new File(install, "throw");
        marker.createNewFile();
        try {
            Result r = start();
            Checks.expectEquals(1, r.code, "exit code; standard error:\n" + r.err);
            Checks.expect(r.err.contains("probe failed on purpose"), "the dialog's text:\n" + r.err);
            Checks.expectEquals("hook ran\n", read(new File(install, "hook.txt")), "the shutdown hook");
        } finally {
            marker.delete();
        }
    }

    // ---- helpers ------------------------------------------------------------------------------

    record Result(int code, String err) {}

    // The launcher in the install directory, headless, bounded in time.
    static Result start() throws Exception {
        new File(install, "probe.txt").delete();
        File err = new File(work, "err.txt");
        ProcessBuilder builder = new ProcessBuilder(new File(install, "vistal").getPath()).directory(install)
                                     .redirectOutput(new File(work, "out.txt")).redirectError(err);
        builder.environment().remove("DISPLAY");
        Process p = builder.start();
        if (!p.waitFor(120, TimeUnit.SECONDS)) {
            p.destroyForcibly().waitFor();
            throw new AssertionError("the launcher did not end within 120 s:\n" + read(err));
        }
        return new Result(p.exitValue(), read(err));
    }

    static void buildJars(File sources) throws Exception {
        File classes = new File(work, "classes");
        compile(new File(classes, "include"), "8", null, new File(sources, "include"));
        compile(new File(classes, "app"), "8", new File(classes, "include"), new File(sources, "app"));
        compile(new File(classes, "v9"), "9", new File(classes, "include"), new File(sources, "v9"));

        Manifest app = new Manifest();
        Attributes main = app.getMainAttributes();
        main.put(Attributes.Name.MANIFEST_VERSION, "1.0");
        main.put(Attributes.Name.IMPLEMENTATION_TITLE, "Probe");
        main.put(Attributes.Name.IMPLEMENTATION_VERSION, "9.8.7");
        main.put(Attributes.Name.IMPLEMENTATION_VENDOR, "Probe Vendor");
        main.put(new Attributes.Name("Multi-Release"), "true");
        main.put(Attributes.Name.CLASS_PATH, "/usr/share/java/probe-absent-1.jar  /usr/share/java/probe-absent-2.jar");
        File bl = new File(install, "lib/bl.jar");
        try (JarOutputStream out = new JarOutputStream(new FileOutputStream(bl), app)) {
            addTree(out, new File(classes, "app"), "");
            addTree(out, new File(classes, "v9"), "META-INF/versions/9/");
            add(out, "META-INF/services/probe.Service", "probe.FromApp\n".getBytes("UTF-8"));
            add(out, "probe/data.txt", "data".getBytes("UTF-8"));
        }
        Manifest plain = new Manifest();
        plain.getMainAttributes().put(Attributes.Name.MANIFEST_VERSION, "1.0");
        File include = new File(install, "lib/include.jar");
        try (JarOutputStream out = new JarOutputStream(new FileOutputStream(include), plain)) {
            addTree(out, new File(classes, "include"), "");
            add(out, "META-INF/services/probe.Service", "probe.FromInclude\n".getBytes("UTF-8"));
        }
        for (File jar : new File[] {bl, include})
            TestJars.sign(keystore, "vistal-dev", jar.getPath(), "vistal");
    }

    static void compile(File out, String release, File classPath, File sourceDir) throws IOException {
        out.mkdirs();
        List<String> argv = new ArrayList<>(List.of("--release", release, "-nowarn", "-d", out.getPath()));
        if (classPath != null)
            argv.addAll(List.of("-cp", classPath.getPath()));
        try (var files = Files.walk(sourceDir.toPath())) {
            files.filter(f -> f.toString().endsWith(".java")).forEach(f -> argv.add(f.toString()));
        }
        if (ToolProvider.getSystemJavaCompiler().run(null, null, null, argv.toArray(new String[0])) != 0)
            throw new IOException("javac " + argv + " failed");
    }

    static void addTree(JarOutputStream out, File dir, String prefix) throws IOException {
        File[] children = dir.listFiles();
        java.util.Arrays.sort(children);
        for (File f : children) {
            if (f.isDirectory())
                addTree(out, f, prefix + f.getName() + "/");
            else
                add(out, prefix + f.getName(), Files.readAllBytes(f.toPath()));
        }
    }

    static void add(JarOutputStream out, String name, byte[] content) throws IOException {
        out.putNextEntry(new JarEntry(name));
        out.write(content);
        out.closeEntry();
    }

    static String read(File f) throws IOException {
        return f.exists() ? Files.readString(f.toPath()) : "";
    }
}
