// The signature-validating class loader in a real VM, over jars made here with keytool and
// jarsigner. Run in source-file mode with the loader's classes on the class path and
// --add-opens java.base/java.lang=ALL-UNNAMED (to ask a loader what it has defined):
//
//   java -cp <loader classes> classloader_test.java <dev keystore.p12>
//
// The fixtures go to ./fixtures under the current directory. Prints one line per check and
// "N passed, N failed"; the exit code is 1 when a check failed.

import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.FileInputStream;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.io.PrintStream;
import java.lang.reflect.Field;
import java.lang.reflect.Method;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.file.Files;
import java.security.KeyStore;
import java.security.MessageDigest;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Enumeration;
import java.util.List;
import java.util.Map;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.CyclicBarrier;
import java.util.jar.Attributes;
import java.util.jar.JarFile;
import java.util.jar.JarOutputStream;
import java.util.jar.Manifest;
import java.util.zip.ZipEntry;
import java.util.zip.ZipFile;
import java.util.zip.ZipOutputStream;

public class classloader_test {
    static final String JDK = System.getProperty("java.home");
    static final String PASS = "vistal-dev";
    static final String LOADER = "com.tolvane.classloader.SignatureValidatingClassLoader";
    static final int MANY = 1000;

    static File dir;
    static String devKeystore;
    static byte[] trusted;

    public static void main(String[] args) throws Exception {
        System.out.println("the loader's checks: " + TestJars.loaderChecks(LOADER));
        devKeystore = args[0];
        trusted = sha1(devCertificate());
        dir = new File("fixtures");
        TestJars.deleteTree(dir);
        dir.mkdirs();
        makeFixtures();

        Checks.run("a class in two jars comes from the first; the cache answers the second load", classloader_test::orderAndCache);
        Checks.run("platform classes go to the parent and are not cached", classloader_test::platformClasses);
        Checks.run("unsigned entries fail, also beside signed ones, and are never defined", classloader_test::unsigned);
        Checks.run("another signer, a two-certificate path and SHA-1 signatures fail", classloader_test::wrongSigners);
        Checks.run("a missing, short or wrong-length trusted digest fails every class", classloader_test::badDigests);
        Checks.run("a tampered entry fails with the platform's SecurityException", classloader_test::tampered);
        Checks.run("unusable paths are reported and skipped; no manifest is skipped silently", classloader_test::unusablePaths);
        Checks.run("signed Class-Path jars load after the parent", classloader_test::classPath);
        Checks.run("resources: jar: URLs, one URL object, exact names, never the parent", classloader_test::resources);
        Checks.run("16 threads loading the same classes get one class each", classloader_test::concurrentLoads);

        Checks.exit();
    }

    // ---- the checks ---------------------------------------------------------------------------

    static void orderAndCache() throws Exception {
        URLClassLoader l = loader(trusted, path("signed.jar"), path("second.jar"));
        Class<?> dup = l.loadClass("p.Dup");
        Checks.expect(TestJars.hasField(dup, "first"), "p.Dup comes from the first jar");
        Checks.expect(dup.getClassLoader() == l, "defined by the instance");
        Checks.expect(TestJars.hasField(l.loadClass("p.OnlySecond"), "second"), "the second jar is searched too");

        // With its jars closed the instance could not read an entry again: the second load must
        // come from the cache.
        for (JarFile jar : jars(l))
            jar.close();
        Checks.expect(l.loadClass("p.Dup") == dup, "second load returns the cached class");

        // Instances share nothing: another one defines its own class.
        URLClassLoader other = loader(trusted, path("signed.jar"));
        Checks.expect(other.loadClass("p.Dup") != dup, "another instance defines its own p.Dup");
    }

    static void platformClasses() throws Exception {
        URLClassLoader l = loader(trusted, path("signed.jar"));
        Checks.expect(l.loadClass("java.lang.String") == String.class, "String from the parent");
        Checks.expect(l.loadClass("java.util.List") == List.class, "List from the parent");
        Checks.expect(!cache(l).containsKey("java.lang.String"), "platform class not cached");
        l.loadClass("p.One");
        Checks.expect(cache(l).containsKey("p.One"), "jar class cached");
        try {
            l.loadClass("p.Nowhere");
            throw new AssertionError("p.Nowhere loaded");
        } catch (ClassNotFoundException e) {
            Checks.expectEquals("p.Nowhere", e.getMessage(), "ClassNotFoundException names the class");
        }
    }

    static void unsigned() throws Exception {
        URLClassLoader l = loader(trusted, path("signed-plus-late.jar"));
        expectSecurity(l, "p.Late", "p.Late not signed");
        Checks.expect(l.loadClass("p.One").getClassLoader() == l, "signed entries beside it still load");

        URLClassLoader whole = loader(trusted, path("unsigned.jar"), path("signed.jar"));
        // The failure ends the search: the signed copy in the next jar is not tried.
        expectSecurity(whole, "p.One", "p.One not signed");
    }

    static void wrongSigners() throws Exception {
        expectSecurity(loader(trusted, path("other-key.jar")), "p.Other", "p.Other signature invalid");
        expectSecurity(loader(trusted, path("chain.jar")), "p.Chained", "p.Chained signature invalid");
        // The chain's signer certificate alone carries the digest that was trusted; its issuer
        // does not.
        expectSecurity(loader(chainSignerDigest(), path("chain.jar")), "p.Chained",
                       "p.Chained signature invalid");
        // The platform no longer accepts SHA-1 signatures: the entry counts as unsigned.
        expectSecurity(loader(trusted, path("sha1.jar")), "p.Weak", "p.Weak not signed");
    }

    static void badDigests() throws Exception {
        byte[][] digests = {null, new byte[0], Arrays.copyOf(trusted, 1), Arrays.copyOf(trusted, 19),
                            Arrays.copyOf(trusted, 21)};
        for (byte[] digest : digests)
            expectSecurity(loader(digest, path("signed.jar")), "p.One", "p.One signature invalid");
        Checks.expect(loader(trusted, path("signed.jar")).loadClass("p.One") != null, "the right digest loads");
    }

    static void tampered() throws Exception {
        URLClassLoader l = loader(trusted, path("tampered.jar"));
        for (int attempt = 0; attempt < 2; attempt++) {
            try {
                l.loadClass("p.Tampered");
                throw new AssertionError("tampered class loaded");
            } catch (SecurityException e) {
                Checks.expect(!e.getMessage().endsWith(" not signed") && !e.getMessage().endsWith(" signature invalid"),
                       "the platform's own exception: " + e.getMessage());
            }
        }
        Checks.expect(!TestJars.defined(l, "p.Tampered"), "tampered class not defined");
        Checks.expect(l.loadClass("p.One") != null, "untouched entries load");
    }

    static void unusablePaths() throws Exception {
        File bare = new File("bare.jar");
        Files.copy(new File(dir, "signed.jar").toPath(), bare.toPath(),
                   java.nio.file.StandardCopyOption.REPLACE_EXISTING);
        Files.write(new File(dir, "not-a-jar.jar").toPath(), "text".getBytes("UTF-8"));

        String[] reported = {"bare.jar", null, path("missing.jar"), path("not-a-jar.jar")};
        for (String p : reported) {
            String err = stderrOf(() -> loader(trusted, p, path("second.jar")));
            Checks.expect(err.contains("Exception"), "a stack trace for " + p + ", got: " + err);
        }
        URLClassLoader l = loader(trusted, "bare.jar", null, path("missing.jar"), path("second.jar"));
        Checks.expectEquals(1, jars(l).size(), "only the usable jar is kept");
        Checks.expect(l.loadClass("p.OnlySecond") != null, "the usable jar serves");
        expectNotFound(l, "p.One");

        String quiet = stderrOf(() -> loader(trusted, path("no-manifest.jar")));
        Checks.expectEquals("", quiet, "a jar without manifest is not reported");
        expectNotFound(loader(trusted, path("no-manifest.jar")), "p.NoManifest");
    }

    static void classPath() throws Exception {
        URLClassLoader l = loader(trusted, path("signed.jar"));
        URL[] urls = l.getURLs();
        Checks.expectEquals(2, urls.length, "two Class-Path URLs");
        Checks.expectEquals(new File(dir, "cp/one.jar").getAbsoluteFile().toURI().toURL(), urls[0], "first URL");
        Checks.expectEquals(new File(dir, "cp/two.jar").getAbsoluteFile().toURI().toURL(), urls[1], "second URL");
        for (String name : new String[] {"p.FromCp1", "p.FromCp2"}) {
            Class<?> c = l.loadClass(name);
            Checks.expect(c.getClassLoader() == l, name + " defined by the instance");
            Checks.expect(!cache(l).containsKey(name), name + " not in the signed-class cache");
        }
    }

    static void resources() throws Exception {
        String relative = "fixtures/signed.jar";
        URLClassLoader l = loader(trusted, relative, path("second.jar"));
        URL url = l.getResource("res/data.txt");
        Checks.expectEquals("jar:" + new File(relative).getAbsoluteFile().toURI() + "!/res/data.txt",
                            url.toString(), "URL form: the jar's absolute file URL");
        Checks.expect(l.getResource("res/data.txt") == url, "same URL object on the second call");
        Checks.expectEquals("jar:" + new File(path("second.jar")).toURI() + "!/res/only-second.txt",
                     String.valueOf(l.getResource("res/only-second.txt")), "second jar's resource");
        Checks.expect(l.getResource("/res/data.txt") == null, "a leading slash matches nothing");
        Checks.expect(l.getResource("RES/DATA.TXT") == null, "names are case-sensitive");
        Checks.expect(l.getResource("res") == null, "a directory entry res/ is not the entry res");
        Checks.expect(l.getResource("java/lang/Object.class") == null, "platform resources are not found");
        Checks.expect(l.getResource("com/tolvane/classloader/SignatureValidatingClassLoader.class") == null,
               "the parent's class path is not searched");
        Checks.expect(l.getResource("cp-resource.txt") != null, "Class-Path jars are searched last");
    }

    static void concurrentLoads() throws Exception {
        URLClassLoader l = loader(trusted, path("many.jar"));
        int threads = 16;
        CyclicBarrier start = new CyclicBarrier(threads);
        Map<String, Class<?>> seen = new ConcurrentHashMap<>();
        List<Throwable> errors = new java.util.concurrent.CopyOnWriteArrayList<>();
        List<Thread> workers = new ArrayList<>();
        for (int t = 0; t < threads; t++) {
            final int offset = t * (MANY / threads);
            Thread w = new Thread(() -> {
                try {
                    start.await();
                    for (int i = 0; i < MANY; i++) {
                        String name = manyName((i + offset) % MANY);
                        Class<?> c = l.loadClass(name);
                        Class<?> first = seen.putIfAbsent(name, c);
                        if (first != null && first != c)
                            throw new AssertionError("two classes for " + name);
                    }
                } catch (Throwable e) {
                    errors.add(e);
                }
            });
            workers.add(w);
            w.start();
        }
        for (Thread w : workers)
            w.join();
        if (!errors.isEmpty())
            throw new AssertionError("loads failed: " + errors.get(0), errors.get(0));
        Checks.expectEquals(MANY, seen.size(), "every class loaded");
    }

    // ---- helpers ------------------------------------------------------------------------------

    static String path(String name) {
        return new File(dir, name).getPath();
    }

    static URLClassLoader loader(byte[] digest, String... paths) throws Exception {
        Class<?> c = Class.forName(LOADER);
        URLClassLoader l = (URLClassLoader) c.getConstructor(ClassLoader.class)
                                   .newInstance(ClassLoader.getSystemClassLoader());
        c.getMethod("setJarPaths", String[].class, byte[].class).invoke(l, paths, digest);
        return l;
    }

    static Object field(URLClassLoader l, String name) throws Exception {
        Field f = l.getClass().getDeclaredField(name);
        f.setAccessible(true);
        return f.get(l);
    }

    @SuppressWarnings("unchecked")
    static Map<String, Class<?>> cache(URLClassLoader l) throws Exception {
        return (Map<String, Class<?>>) field(l, "classes");
    }

    @SuppressWarnings("unchecked")
    static List<JarFile> jars(URLClassLoader l) throws Exception {
        return (List<JarFile>) field(l, "jars");
    }

    // Fails, fails again the same way (the class was never defined), and leaves nothing behind.
    static void expectSecurity(URLClassLoader l, String name, String message) throws Exception {
        for (int attempt = 0; attempt < 2; attempt++) {
            try {
                l.loadClass(name);
                throw new AssertionError(name + " loaded");
            } catch (SecurityException e) {
                Checks.expectEquals(message, e.getMessage(), "message, attempt " + (attempt + 1));
            }
        }
        Checks.expect(!TestJars.defined(l, name), name + " must not be defined");
        Checks.expect(!cache(l).containsKey(name), name + " must not be cached");
    }

    static void expectNotFound(URLClassLoader l, String name) {
        try {
            l.loadClass(name);
            throw new AssertionError(name + " loaded");
        } catch (ClassNotFoundException e) {
            // as expected
        }
    }

    static String stderrOf(Checks.Check action) throws Exception {
        PrintStream saved = System.err;
        ByteArrayOutputStream captured = new ByteArrayOutputStream();
        System.setErr(new PrintStream(captured, true, "UTF-8"));
        try {
            action.run();
        } finally {
            System.setErr(saved);
        }
        return captured.toString("UTF-8");
    }

    static byte[] sha1(byte[] data) throws Exception {
        return MessageDigest.getInstance("SHA-1").digest(data);
    }

    static byte[] devCertificate() throws Exception {
        KeyStore ks = KeyStore.getInstance("PKCS12");
        try (InputStream in = new FileInputStream(devKeystore)) {
            ks.load(in, PASS.toCharArray());
        }
        return ks.getCertificate("vistal").getEncoded();
    }

    static byte[] chainSignerDigest() throws Exception {
        KeyStore ks = KeyStore.getInstance("PKCS12");
        try (InputStream in = new FileInputStream(path("chain.p12"))) {
            ks.load(in, PASS.toCharArray());
        }
        java.security.cert.Certificate[] chain = ks.getCertificateChain("signer");
        Checks.expectEquals(2, chain.length, "the chain holds the signer and its CA");
        return sha1(chain[0].getEncoded());
    }

    // ---- fixtures -----------------------------------------------------------------------------

    static String manyName(int i) {
        return String.format("m.C%04d", i);
    }

    static byte[] classFile(String dottedName, String fieldName) throws IOException {
        return TestJars.classFile(dottedName, fieldName);
    }

    static void writeJar(String name, String classPath, Object... entries) throws IOException {
        Manifest manifest = new Manifest();
        manifest.getMainAttributes().put(Attributes.Name.MANIFEST_VERSION, "1.0");
        if (classPath != null)
            manifest.getMainAttributes().put(Attributes.Name.CLASS_PATH, classPath);
        File file = new File(dir, name);
        file.getParentFile().mkdirs();
        try (OutputStream out = new FileOutputStream(file)) {
            writeEntries(new JarOutputStream(out, manifest), entries);
        }
    }

    static void writeZip(String name, Object... entries) throws IOException {
        try (OutputStream out = new FileOutputStream(new File(dir, name))) {
            writeEntries(new ZipOutputStream(out), entries);
        }
    }

    // entries: name, bytes, name, bytes, ...
    static void writeEntries(ZipOutputStream zip, Object... entries) throws IOException {
        for (int i = 0; i < entries.length; i += 2) {
            zip.putNextEntry(new ZipEntry((String) entries[i]));
            zip.write((byte[]) entries[i + 1]);
            zip.closeEntry();
        }
        zip.close();
    }

    // Copies a jar entry for entry, replacing or adding the given entries.
    static void rewriteJar(String from, String to, Object... changes) throws IOException {
        List<Object> entries = new ArrayList<>();
        List<String> changed = new ArrayList<>();
        for (int i = 0; i < changes.length; i += 2)
            changed.add((String) changes[i]);
        try (ZipFile zip = new ZipFile(new File(dir, from))) {
            Enumeration<? extends ZipEntry> all = zip.entries();
            while (all.hasMoreElements()) {
                ZipEntry e = all.nextElement();
                int at = changed.indexOf(e.getName());
                entries.add(e.getName());
                entries.add(at >= 0 ? (byte[]) changes[2 * at + 1] : zip.getInputStream(e).readAllBytes());
            }
        }
        for (int i = 0; i < changes.length; i += 2)
            if (!entries.contains(changes[i])) {
                entries.add(changes[i]);
                entries.add(changes[i + 1]);
            }
        writeZip(to, entries.toArray());
    }

    static void tool(String... command) throws Exception {
        List<String> argv = new ArrayList<>();
        argv.add(JDK + "/bin/" + command[0]);
        argv.addAll(Arrays.asList(command).subList(1, command.length));
        Process p = new ProcessBuilder(argv).redirectErrorStream(true).start();
        String output = new String(p.getInputStream().readAllBytes(), "UTF-8");
        if (p.waitFor() != 0)
            throw new IOException(String.join(" ", argv) + " failed:\n" + output);
    }

    static void sign(String jar, String keystore, String alias, String... options) throws Exception {
        TestJars.sign(keystore, PASS, path(jar), alias, options);
    }

    static void makeFixtures() throws Exception {
        byte[] one = classFile("p.One", null);
        writeJar("signed.jar", "cp/one.jar   \t  cp/two.jar", "p/One.class", one, "p/Dup.class",
                 classFile("p.Dup", "first"), "res/", new byte[0], "res/data.txt", "data".getBytes("UTF-8"));
        writeJar("second.jar", null, "p/Dup.class", classFile("p.Dup", "second"), "p/OnlySecond.class",
                 classFile("p.OnlySecond", "second"), "res/only-second.txt", "2".getBytes("UTF-8"));
        writeJar("other-key.jar", null, "p/Other.class", classFile("p.Other", null));
        writeJar("chain.jar", null, "p/Chained.class", classFile("p.Chained", null));
        writeJar("sha1.jar", null, "p/Weak.class", classFile("p.Weak", null));
        writeJar("tampered.jar", null, "p/Tampered.class", classFile("p.Tampered", "original"), "p/One.class", one);
        writeJar("unsigned.jar", null, "p/One.class", one);
        writeZip("no-manifest.jar", "p/NoManifest.class", classFile("p.NoManifest", null));
        writeJar("cp/one.jar", null, "p/FromCp1.class", classFile("p.FromCp1", null), "cp-resource.txt",
                 new byte[] {1});
        writeJar("cp/two.jar", null, "p/FromCp2.class", classFile("p.FromCp2", null));
        Object[] many = new Object[2 * MANY];
        for (int i = 0; i < MANY; i++) {
            many[2 * i] = manyName(i).replace('.', '/') + ".class";
            many[2 * i + 1] = classFile(manyName(i), null);
        }
        writeJar("many.jar", null, many);

        String other = path("other.p12");
        String chain = path("chain.p12");
        tool("keytool", "-genkeypair", "-alias", "other", "-keyalg", "RSA", "-keysize", "2048", "-dname",
             "CN=Someone Else", "-storetype", "PKCS12", "-keystore", other, "-storepass", PASS);
        tool("keytool", "-genkeypair", "-alias", "ca", "-keyalg", "RSA", "-keysize", "2048", "-dname",
             "CN=Test Issuer", "-ext", "bc:c", "-storetype", "PKCS12", "-keystore", chain, "-storepass", PASS);
        tool("keytool", "-genkeypair", "-alias", "signer", "-keyalg", "RSA", "-keysize", "2048", "-dname",
             "CN=Issued Signer", "-signer", "ca", "-signerkeypass", PASS, "-storetype", "PKCS12", "-keystore",
             chain, "-storepass", PASS);

        for (String jar : new String[] {"signed.jar", "second.jar", "tampered.jar", "many.jar", "cp/one.jar", "cp/two.jar"})
            sign(jar, devKeystore, "vistal");
        sign("other-key.jar", other, "other");
        sign("chain.jar", chain, "signer");
        sign("sha1.jar", devKeystore, "vistal", "-digestalg", "SHA-1", "-sigalg", "SHA1withRSA");

        // After signing: an entry the signature does not cover, and content that no longer
        // matches its signed digest.
        rewriteJar("signed.jar", "signed-plus-late.jar", "p/Late.class", classFile("p.Late", null));
        rewriteJar("tampered.jar", "tampered-copy.jar", "p/Tampered.class", classFile("p.Tampered", "changed!"));
        Files.move(new File(dir, "tampered-copy.jar").toPath(), new File(dir, "tampered.jar").toPath(),
                   java.nio.file.StandardCopyOption.REPLACE_EXISTING);
    }
}
