// The signature-validating class loader against hostile jars: Class-Path entries that lead out of
// the application's directories or to unsigned code, a parent that would serve application
// classes, unsigned resources, duplicate entries and zip bombs. Run in source-file mode with the
// loader's classes and an otherwise empty class-path directory on the class path, and a small heap:
//
//   java -Xmx64m -Xbootclasspath/a:<bootcp> -cp <loader classes>:<syscp> hostile_jars_test.java
//        <dev keystore.p12> <syscp> <bootcp>
//
// The VM's boot class path is appended with a directory <bootcp> that holds nothing at first.
// Fixtures go to ./fixtures. Prints one line per check and "N passed, N failed"; exit code 1 when
// a check failed.

import com.sun.net.httpserver.HttpServer;
import java.io.ByteArrayOutputStream;
import java.io.DataOutputStream;
import java.io.File;
import java.io.FileInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.PrintStream;
import java.lang.reflect.Field;
import java.lang.reflect.Method;
import java.net.InetSocketAddress;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.file.Files;
import java.security.KeyStore;
import java.security.MessageDigest;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Enumeration;
import java.util.List;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.zip.CRC32;
import java.util.zip.Deflater;
import java.util.zip.ZipEntry;
import java.util.zip.ZipFile;

public class hostile_jars_test {
    static final String JDK = System.getProperty("java.home");
    static final String PASS = "vistal-dev";
    static final String LOADER = "com.tolvane.classloader.SignatureValidatingClassLoader";
    static final String MAIN = "a.b.a.a.a";
    static final long BOMB = 300L << 20; // several times the test VM's whole heap

    static File dir, data, install, outside;
    static String devKeystore;
    static File syscp, bootcp;
    static byte[] trusted;
    static String checks; // "native" (the launcher's natives registered) or "jdk"

    public static void main(String[] args) throws Exception {
        checks = TestJars.loaderChecks(LOADER);
        System.out.println("the loader's checks: " + checks);
        devKeystore = args[0];
        syscp = new File(args[1]);
        bootcp = new File(args[2]);
        trusted = sha1(devCertificate());
        dir = new File("fixtures").getAbsoluteFile();
        TestJars.deleteTree(dir);
        data = new File(dir, "root/data");
        install = new File(dir, "root/install");
        outside = new File(dir, "outside");
        for (File d : new File[] {data, new File(install, "lib"), outside})
            d.mkdirs();
        makeFixtures();

        Checks.run("Class-Path: unsigned jars refused, other schemes and paths out of the application's directories dropped",
            hostile_jars_test::classPath);
        Checks.run("Class-Path: a signed manifest still reaches signed library jars in the install directory",
            hostile_jars_test::classPathLibrary);
        Checks.run("the parent answers only with the runtime's classes", hostile_jars_test::parent);
        Checks.run("resources only from signed entries; unsigned ones never shadow include.jar", hostile_jars_test::resources);
        Checks.run("resource URLs read the checked entry of the jar held open, never a file found by path",
            hostile_jars_test::resourcesNotByPath);
        Checks.run("duplicate entries: only the bytes the verifier checked are ever defined", hostile_jars_test::duplicates);
        Checks.run("zip bombs are refused within a small heap", hostile_jars_test::bombs);
        Checks.run("signatures: algorithms, sections, signers and changes after signing judged as the VM's reader does",
            hostile_jars_test::signatures);

        Checks.exit();
    }

    // ---- the checks ---------------------------------------------------------------------------

    static void classPath() throws Exception {
        // Every form is tried, and every fault listed, before the check fails.
        List<String> faults = new ArrayList<>();
        AtomicInteger requests = new AtomicInteger();
        HttpServer server = HttpServer.create(new InetSocketAddress("127.0.0.1", 0), 0);
        byte[] signedOutside = Files.readAllBytes(new File(outside, "x.jar").toPath());
        server.createContext("/", exchange -> {
            requests.incrementAndGet();
            exchange.sendResponseHeaders(200, signedOutside.length);
            exchange.getResponseBody().write(signedOutside);
            exchange.close();
        });
        server.start();
        try {
            Files.createSymbolicLink(new File(data, "link.jar").toPath(), new File(outside, "x.jar").toPath());
            // Beside the relative unsigned jar, every token names a jar signed by the trusted key:
            // only the directory rule keeps them out.
            String[][] cases = {
                {"x.jar", " not signed"},
                {"../../outside/x.jar", null},
                {new File(outside, "x.jar").toURI().toString(), null},
                {"http://127.0.0.1:" + server.getAddress().getPort() + "/x.jar", null},
                {"link.jar", null},
            };
            for (int i = 0; i < cases.length; i++) {
                String token = cases[i][0];
                writeZip(new File(data, "hostile" + i + ".jar"), manifest("Class-Path: " + token));
                String hostile = data + "/hostile" + i + ".jar";
                String include = install + "/lib/include.jar";
                String[][] loaders = {{hostile, include}, {data + "/app.npx", hostile, include}};
                for (String[] paths : loaders) {
                    String t = (paths.length == 2 ? "main loader, " : "second instance, ") + token;
                    String[] err = new String[1];
                    URLClassLoader l = loaderReporting(err, paths);
                    check(faults, l.loadClass("p.Inc").getClassLoader() == l, t + ": include.jar still serves");
                    String outcome = outcomeOf(l, MAIN);
                    if (cases[i][1] != null) {
                        check(faults, outcome.equals(MAIN + cases[i][1]), t + ": " + outcome);
                    } else {
                        check(faults, outcome.equals("not found"), t + ": " + outcome);
                        check(faults, err[0].contains("Exception") && err[0].contains("Class-Path"),
                          t + " is reported");
                    }
                    check(faults, !TestJars.defined(l, MAIN), t + ": " + MAIN + " never defined");
                    check(faults, l.getResource("x.txt") == null, t + ": no resource from x.jar");
                }
            }
            check(faults, requests.get() == 0, "the loader never fetched over HTTP");
            Checks.expect(faults.isEmpty(), String.join("; ", faults));
        } finally {
            server.stop(0);
        }
    }

    static void classPathLibrary() throws Exception {
        URLClassLoader l = loader(data + "/app-lib.jar", install + "/lib/include.jar");
        Class<?> c = l.loadClass("p.Extra");
        Checks.expect(c.getClassLoader() == l, "p.Extra from lib/extra.jar");
        Checks.expect(l.getResource("extra.txt") != null, "its signed resource");
    }

    static void parent() throws Exception {
        // What an application class path would hold; the parent (the system class loader) finds it.
        File cls = new File(syscp, "q/FromClassPath.class");
        cls.getParentFile().mkdirs();
        Files.write(cls.toPath(), TestJars.classFile("q.FromClassPath", null));
        Checks.expect(ClassLoader.getSystemClassLoader().loadClass("q.FromClassPath") != null, "the parent has it");

        // And what an appendix to the boot class path would hold: the boot loader defines it, in
        // no module of the runtime.
        File boot = new File(bootcp, "q/FromBoot.class");
        boot.getParentFile().mkdirs();
        Files.write(boot.toPath(), TestJars.classFile("q.FromBoot", null));
        Checks.expect(Class.forName("q.FromBoot", false, null).getClassLoader() == null, "the boot loader has it");

        URLClassLoader l = loader(data + "/app.npx");
        Checks.expect(outcomeOf(l, "q.FromClassPath").equals("not found"), "class-path class not served");
        Checks.expect(outcomeOf(l, "q.FromBoot").equals("not found"), "boot class path appendix not served");
        Checks.expect(outcomeOf(l, LOADER).equals("not found"), "nor the loader's own class");
        // Classes of the runtime: the bootstrap loader's and the platform loader's.
        for (Class<?> c : new Class<?>[] {String.class, javax.swing.JFrame.class, java.sql.Date.class,
                                          java.net.http.HttpClient.class, javax.tools.ToolProvider.class,
                                          Class.forName("com.sun.tools.javac.Main")})
            Checks.expect(l.loadClass(c.getName()) == c, c.getName() + " from the parent");
    }

    static void resources() throws Exception {
        String include = install + "/lib/include.jar";
        URLClassLoader l = loader(data + "/app-res.jar", include);
        for (String name : new String[] {"img/shared.png", "img/tampered.png"}) {
            URL url = l.getResource(name);
            Checks.expect(url != null && url.toString().equals("jar:file:" + include + "!/" + name),
                   name + " from include.jar, got " + url);
            try (InputStream in = l.getResourceAsStream(name)) {
                Checks.expect(new String(in.readAllBytes(), "UTF-8").equals("include"), name + " content");
            }
        }
        Checks.expect(l.getResource("img/appended.png") == null, "an appended entry alone is not served");
        Checks.expect(l.getResource("img/app.png") != null, "signed entries of the jar are");
        Checks.expect(l.getResource("cp.txt") == null, "no unsigned resource from a Class-Path jar");
        Checks.expect(!l.getResources("cp.txt").hasMoreElements(), "nor through the enumeration");
    }

    static void resourcesNotByPath() throws Exception {
        // {the application jar, a jar an attacker places where the URL's path also leads, its entry}
        String[][] cases = {
            {"bang/x!/lib/app.jar", "bang/x", "lib/app.jar!/r.txt"},  // split at the first "!/"
            {"pct/%61/lib/app.jar", "pct/a/lib/app.jar", "r.txt"},    // "%61" read back as "a"
            {"renamed/app.jar", "renamed/app.jar", "r.txt"},          // renamed over while in use
        };
        List<String> faults = new ArrayList<>();
        for (String[] c : cases) {
            File jar = new File(dir, c[0]), planted = new File(dir, c[1]);
            jar.getParentFile().mkdirs();
            planted.getParentFile().mkdirs();
            Files.copy(new File(data, "app-r.jar").toPath(), jar.toPath());
            File evil = new File(dir, "evil.tmp");
            writeZip(evil, manifest(), stored(c[2], "evil"));
            if (!planted.equals(jar))
                Files.move(evil.toPath(), planted.toPath());
            URLClassLoader l = loader(jar.getPath());
            URL url = l.getResource("r.txt");
            if (planted.equals(jar))
                Files.move(evil.toPath(), jar.toPath(), java.nio.file.StandardCopyOption.REPLACE_EXISTING);
            check(faults, url != null, c[0] + ": the signed resource is found");
            if (url == null)
                continue;
            url.toURI();
            List<String> read = new ArrayList<>();
            read.add(contentOf(url.openStream()));
            read.add(contentOf(l.getResourceAsStream("r.txt")));
            Enumeration<URL> all = l.getResources("r.txt");
            read.add(all.hasMoreElements() ? contentOf(all.nextElement().openStream()) : "none");
            read.add(contentOf(new URL(url, "r.txt").openStream()));
            check(faults, read.equals(List.of("signed", "signed", "signed", "signed")), c[0] + ": read " + read);
        }
        // An entry the manifest lists but no signature covers is read only up to the class cap.
        for (String jar : new String[] {"bomb-digest.jar", "bomb-lying.jar"})
            check(faults, loader(data + "/" + jar).getResource("a/b/a/a/a.class") == null, jar + " served");
        Checks.expect(faults.isEmpty(), String.join("; ", faults));
    }

    static String contentOf(InputStream in) throws IOException {
        try (InputStream stream = in) {
            return new String(stream.readAllBytes(), "UTF-8");
        }
    }

    static void duplicates() throws Exception {
        for (String jar : new String[] {"dup-after.jar", "dup-before.jar"}) {
            try (ZipFile zip = new ZipFile(new File(data, jar))) {
                int copies = 0;
                for (Enumeration<? extends ZipEntry> e = zip.entries(); e.hasMoreElements();)
                    copies += e.nextElement().getName().equals("p/Dup.class") ? 1 : 0;
                Checks.expect(copies == 2, jar + " holds two p/Dup.class entries");
            }
            URLClassLoader l = loader(data + "/" + jar);
            String outcome = outcomeOf(l, "p.Dup");
            System.out.println("  " + jar + ": " + outcome);
            if (outcome.equals("loaded"))
                Checks.expect(TestJars.hasField(l.loadClass("p.Dup"), "original"), jar + ": the signed copy was defined");
            else
                Checks.expect(!TestJars.defined(l, "p.Dup"), jar + ": nothing defined, " + outcome);
        }
    }

    static void bombs() throws Exception {
        String[][] cases = {
            {"bomb-unsigned.jar", " not signed"},    // no digest: refused unread
            {"bomb-digest.jar", " too large"},       // a digest, and a header that admits the size
            {"bomb-lying.jar", " too large"},        // a digest, and a header that claims 100 bytes
        };
        for (String[] c : cases) {
            URLClassLoader l = loader(data + "/" + c[0]);
            String outcome = outcomeOf(l, MAIN);
            Checks.expect(outcome.equals(MAIN + c[1]), c[0] + ": " + outcome);
            Checks.expect(!TestJars.defined(l, MAIN), c[0] + ": nothing defined");
        }
    }

    // The main class of each jar: its outcome through the VM's reader, and through the launcher's
    // natives where they are stricter (docs/SECURITY.md). A jar the VM's reader refuses whole
    // fails the load with the reader's own message, which is not the loader's to keep.
    static void signatures() throws Exception {
        String refusedWhole = "(the reader's message)";
        String[][] cases = {
            // jar, through the VM's reader, through the natives when they differ
            {"sig-sha256.jar", "loaded"},
            {"sig-sha384.jar", "loaded"},
            {"sig-sha512.jar", "loaded"},
            {"sig-sections.jar", "loaded"},                     // no digest of the whole manifest
            {"sig-sections-other.jar", refusedWhole, MAIN + " signature invalid"}, // another section changed
            {"sig-main-attributes.jar", refusedWhole, MAIN + " signature invalid"}, // main attributes changed
            {"sig-added.jar", MAIN + " not signed"},           // entry and section added after signing
            {"sig-sf-changed.jar", refusedWhole, MAIN + " signature invalid"}, // the block no longer holds
            {"sig-entry-changed.jar", "SHA-256 digest error for a/b/a/a/a.class"},
            // Two signers, the trusted one and another: the reader's verdict follows the order of
            // the signature files in the jar; the natives refuse both.
            {"sig-two-signers.jar", MAIN + " signature invalid"},          // trusted, then another
            {"sig-two-signers-other-first.jar", "loaded", MAIN + " signature invalid"}, // another, then trusted
        };
        List<String> faults = new ArrayList<>();
        for (String[] c : cases) {
            URLClassLoader l = loader(data + "/" + c[0]);
            String outcome = outcomeOf(l, MAIN);
            String expected = checks.equals("native") && c.length > 2 ? c[2] : c[1];
            System.out.println("  " + c[0] + ": " + outcome);
            boolean ok = expected == refusedWhole ? !outcome.equals("loaded") && !outcome.equals("not found")
                                                  : outcome.equals(expected);
            check(faults, ok, c[0] + ": " + outcome + ", expected " + expected);
            check(faults, outcome.equals("loaded") == TestJars.defined(l, MAIN), c[0] + ": defined only when loaded");
            // The resource beside the class shares its signature; only a changed class stays alone.
            boolean served = outcome.equals("loaded") || outcome.contains(" digest error for ");
            check(faults, served == (l.getResource("r.txt") != null), c[0] + ": its resource served " + !served);
        }
        Checks.expect(faults.isEmpty(), String.join("; ", faults));
    }

    // ---- helpers ------------------------------------------------------------------------------

    static void check(List<String> faults, boolean condition, String what) {
        if (!condition)
            faults.add(what);
    }

    static URLClassLoader loader(String... paths) throws Exception {
        Class<?> c = Class.forName(LOADER);
        URLClassLoader l = (URLClassLoader) c.getConstructor(ClassLoader.class)
                                   .newInstance(ClassLoader.getSystemClassLoader());
        c.getMethod("setJarPaths", String[].class, byte[].class).invoke(l, paths, trusted);
        return l;
    }

    static URLClassLoader loaderReporting(String[] err, String... paths) throws Exception {
        PrintStream saved = System.err;
        ByteArrayOutputStream captured = new ByteArrayOutputStream();
        System.setErr(new PrintStream(captured, true, "UTF-8"));
        try {
            return loader(paths);
        } finally {
            System.setErr(saved);
            err[0] = captured.toString("UTF-8");
        }
    }

    // "loaded", "not found", or the SecurityException's message.
    static String outcomeOf(ClassLoader l, String name) {
        try {
            l.loadClass(name);
            return "loaded";
        } catch (ClassNotFoundException e) {
            return "not found";
        } catch (SecurityException e) {
            return e.getMessage();
        }
    }

    static byte[] sha1(byte[] bytes) throws Exception {
        return MessageDigest.getInstance("SHA-1").digest(bytes);
    }

    static byte[] devCertificate() throws Exception {
        KeyStore ks = KeyStore.getInstance("PKCS12");
        try (InputStream in = new FileInputStream(devKeystore)) {
            ks.load(in, PASS.toCharArray());
        }
        return ks.getCertificate("vistal").getEncoded();
    }


    static void sign(File jar, String keystore, String alias) throws Exception {
        TestJars.sign(keystore, PASS, jar.getPath(), alias);
    }

    // ---- fixtures -----------------------------------------------------------------------------

    // One zip entry as written by writeZip: stored, or deflated data with its true CRC and sizes,
    // and the uncompressed size the headers claim.
    record Entry(String name, int method, byte[] data, long crc, long size, long claimedSize) {
        static Entry stored(String name, byte[] content) {
            CRC32 crc = new CRC32();
            crc.update(content);
            return new Entry(name, 0, content, crc.getValue(), content.length, content.length);
        }
    }

    static Entry manifest(String... lines) throws IOException {
        StringBuilder text = new StringBuilder("Manifest-Version: 1.0\r\n");
        for (String line : lines)
            text.append(line).append("\r\n");
        return Entry.stored("META-INF/MANIFEST.MF", text.append("\r\n").toString().getBytes("UTF-8"));
    }

    static Entry stored(String name, String content) throws IOException {
        return Entry.stored(name, content.getBytes("UTF-8"));
    }

    // Zeros deflated a megabyte at a time: the entry inflates to `size` bytes from a small file.
    static Entry bomb(String name, long size, long claimedSize) {
        Deflater deflater = new Deflater(Deflater.BEST_COMPRESSION, true);
        CRC32 crc = new CRC32();
        byte[] zeros = new byte[1 << 20];
        byte[] buffer = new byte[1 << 16];
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        for (long done = 0; done < size; done += zeros.length) {
            deflater.setInput(zeros);
            crc.update(zeros);
            while (!deflater.needsInput())
                out.write(buffer, 0, deflater.deflate(buffer));
        }
        deflater.finish();
        while (!deflater.finished())
            out.write(buffer, 0, deflater.deflate(buffer));
        deflater.end();
        return new Entry(name, 8, out.toByteArray(), crc.getValue(), size, claimedSize);
    }

    // Every entry of a zip, in order, as stored entries.
    static List<Entry> entriesOf(File zip) throws IOException {
        List<Entry> entries = new ArrayList<>();
        try (ZipFile z = new ZipFile(zip)) {
            for (Enumeration<? extends ZipEntry> e = z.entries(); e.hasMoreElements();) {
                ZipEntry ze = e.nextElement();
                entries.add(Entry.stored(ze.getName(), z.getInputStream(ze).readAllBytes()));
            }
        }
        return entries;
    }

    // A zip written by hand, so that it may hold what the platform's writer refuses: duplicate
    // names and sizes that the headers misstate.
    static void writeZip(File file, Entry... entries) throws IOException {
        ByteBuffer b = ByteBuffer.allocate(1 << 22).order(ByteOrder.LITTLE_ENDIAN);
        ByteBuffer central = ByteBuffer.allocate(1 << 20).order(ByteOrder.LITTLE_ENDIAN);
        for (Entry e : entries) {
            byte[] name = e.name().getBytes("UTF-8");
            int offset = b.position();
            b.putInt(0x04034b50).putShort((short) 20).putShort((short) 0).putShort((short) e.method())
                .putShort((short) 0).putShort((short) 0x21).putInt((int) e.crc()).putInt(e.data().length)
                .putInt((int) e.claimedSize()).putShort((short) name.length).putShort((short) 0).put(name)
                .put(e.data());
            central.putInt(0x02014b50).putShort((short) 20).putShort((short) 20).putShort((short) 0)
                .putShort((short) e.method()).putShort((short) 0).putShort((short) 0x21).putInt((int) e.crc())
                .putInt(e.data().length).putInt((int) e.claimedSize()).putShort((short) name.length)
                .putShort((short) 0).putShort((short) 0).putShort((short) 0).putShort((short) 0).putInt(0)
                .putInt(offset).put(name);
        }
        int centralOffset = b.position();
        b.put(central.array(), 0, central.position());
        b.putInt(0x06054b50).putShort((short) 0).putShort((short) 0).putShort((short) entries.length)
            .putShort((short) entries.length).putInt(central.position()).putInt(centralOffset).putShort((short) 0);
        Files.write(file.toPath(), Arrays.copyOf(b.array(), b.position()));
    }

    // The jars of signatures(): the main class and a resource, signed in several ways, some
    // changed after signing.
    static void makeSignatureFixtures() throws Exception {
        String other = new File(dir, "other.p12").getPath();
        Process p = new ProcessBuilder(JDK + "/bin/keytool", "-genkeypair", "-alias", "other", "-keyalg", "RSA",
                                       "-keysize", "2048", "-dname", "CN=Someone Else", "-storetype", "PKCS12",
                                       "-keystore", other, "-storepass", PASS).redirectErrorStream(true).start();
        p.getInputStream().readAllBytes();
        Checks.expect(p.waitFor() == 0, "keytool made another signer");
        String[][] signings = {
            {"sig-sha256.jar"}, {"sig-sha384.jar", "-digestalg", "SHA-384", "-sigalg", "SHA384withRSA"},
            {"sig-sha512.jar", "-digestalg", "SHA-512"}, {"sig-sections.jar", "-sectionsonly"},
            {"sig-sections-other.jar", "-sectionsonly"}, {"sig-main-attributes.jar", "-sectionsonly"},
            {"sig-added.jar"}, {"sig-sf-changed.jar"}, {"sig-two-signers.jar"}, {"sig-entry-changed.jar"},
        };
        for (String[] s : signings) {
            File jar = new File(data, s[0]);
            if (s[0].equals("sig-added.jar"))
                writeZip(jar, manifest(), Entry.stored("p/Other.class", TestJars.classFile("p.Other", null)));
            else
                writeZip(jar, manifest(), Entry.stored("a/b/a/a/a.class", TestJars.classFile(MAIN, null)),
                         Entry.stored("p/Other.class", TestJars.classFile("p.Other", null)), stored("r.txt", "r"));
            TestJars.sign(devKeystore, PASS, jar.getPath(), "vistal",
                          Arrays.copyOfRange(s, 1, s.length));
        }
        File otherFirst = new File(data, "sig-two-signers-other-first.jar");
        Files.copy(new File(data, "sig-two-signers.jar").toPath(), otherFirst.toPath());
        TestJars.sign(other, PASS, new File(data, "sig-two-signers.jar").getPath(), "other");
        writeZip(otherFirst, manifest(), Entry.stored("a/b/a/a/a.class", TestJars.classFile(MAIN, null)),
                 Entry.stored("p/Other.class", TestJars.classFile("p.Other", null)), stored("r.txt", "r"));
        TestJars.sign(other, PASS, otherFirst.getPath(), "other");
        TestJars.sign(devKeystore, PASS, otherFirst.getPath(), "vistal");

        // Changes after signing: another entry's manifest section, the main attributes, an added
        // entry with a section of its own, the .SF, and the main class's bytes.
        String otherDigest = "SHA-256-Digest: " + java.util.Base64.getEncoder().encodeToString(new byte[32]);
        changeEntry("sig-sections-other.jar", "META-INF/MANIFEST.MF",
                    t -> t.replaceFirst("(Name: p/Other.class\r\n)SHA-256-Digest: [^\r]*", "$1" + otherDigest));
        List<Entry> changed = new ArrayList<>();
        for (Entry e : entriesOf(new File(data, "sig-entry-changed.jar")))
            changed.add(e.name().equals("a/b/a/a/a.class") ? Entry.stored(e.name(), TestJars.classFile(MAIN, "evil")) : e);
        writeZip(new File(data, "sig-entry-changed.jar"), changed.toArray(new Entry[0]));
        changeEntry("sig-main-attributes.jar", "META-INF/MANIFEST.MF",
                    t -> t.replaceFirst("\r\n\r\n", "\r\nX-Changed: yes\r\n\r\n"));
        changeEntry("sig-sf-changed.jar", "META-INF/VISTAL.SF", t -> t.replace("\r\n\r\n", "\r\nX-Changed: yes\r\n\r\n"));
        byte[] main = TestJars.classFile(MAIN, null);
        String mainSection = "Name: a/b/a/a/a.class\r\nSHA-256-Digest: "
            + java.util.Base64.getEncoder().encodeToString(MessageDigest.getInstance("SHA-256").digest(main)) + "\r\n\r\n";
        List<Entry> added = new ArrayList<>();
        for (Entry e : entriesOf(new File(data, "sig-added.jar")))
            added.add(e.name().equals("META-INF/MANIFEST.MF") ? stored(e.name(), new String(e.data(), "UTF-8") + mainSection) : e);
        added.add(Entry.stored("a/b/a/a/a.class", main));
        added.add(stored("r.txt", "r"));
        writeZip(new File(data, "sig-added.jar"), added.toArray(new Entry[0]));
    }

    // Rewrites one text entry of a jar in data/ through `change`, keeping every other entry.
    static void changeEntry(String jar, String name, java.util.function.UnaryOperator<String> change) throws Exception {
        File file = new File(data, jar);
        List<Entry> entries = new ArrayList<>();
        boolean changed = false;
        for (Entry e : entriesOf(file)) {
            if (e.name().equals(name)) {
                String before = new String(e.data(), "UTF-8");
                String after = change.apply(before);
                changed = !after.equals(before);
                e = stored(name, after);
            }
            entries.add(e);
        }
        Checks.expect(changed, jar + ": " + name + " changed");
        writeZip(file, entries.toArray(new Entry[0]));
    }

    static void makeFixtures() throws Exception {
        File include = new File(install, "lib/include.jar");
        writeZip(include, manifest(), Entry.stored("p/Inc.class", TestJars.classFile("p.Inc", null)),
                 stored("img/shared.png", "include"), stored("img/tampered.png", "include"));
        writeZip(new File(install, "lib/extra.jar"), manifest(),
                 Entry.stored("p/Extra.class", TestJars.classFile("p.Extra", null)), stored("extra.txt", "extra"));
        writeZip(new File(data, "app.npx"), manifest(), Entry.stored("p/Npx.class", TestJars.classFile("p.Npx", null)));
        writeZip(new File(data, "app-lib.jar"), manifest("Class-Path: ../install/lib/extra.jar"),
                 Entry.stored("p/App.class", TestJars.classFile("p.App", null)));
        writeZip(new File(data, "app-res.jar"), manifest("Class-Path: x.jar"), stored("img/app.png", "app"),
                 stored("img/tampered.png", "app"));
        // The unsigned jar beside the application's, and a copy signed by the trusted key outside
        // the application's directories.
        Entry mainClass = Entry.stored("a/b/a/a/a.class", TestJars.classFile(MAIN, null));
        writeZip(new File(data, "x.jar"), manifest(), mainClass, stored("x.txt", "x"), stored("cp.txt", "cp"));
        writeZip(new File(outside, "x.jar"), manifest(), mainClass, stored("x.txt", "x"));
        writeZip(new File(data, "dup.jar"), manifest(), Entry.stored("p/Dup.class", TestJars.classFile("p.Dup", "original")));
        writeZip(new File(data, "app-r.jar"), manifest(), stored("r.txt", "signed"));

        for (File jar : new File[] {include, new File(install, "lib/extra.jar"), new File(data, "app.npx"),
                                    new File(data, "app-lib.jar"), new File(data, "app-res.jar"),
                                    new File(outside, "x.jar"), new File(data, "dup.jar"),
                                    new File(data, "app-r.jar")})
            sign(jar, devKeystore, "vistal");

        // After signing: an entry appended that include.jar also holds, one only the app jar holds,
        // and a signed entry whose content changed.
        List<Entry> res = new ArrayList<>();
        for (Entry e : entriesOf(new File(data, "app-res.jar")))
            res.add(e.name().equals("img/tampered.png") ? stored(e.name(), "evil") : e);
        res.add(stored("img/shared.png", "evil"));
        res.add(stored("img/appended.png", "evil"));
        writeZip(new File(data, "app-res.jar"), res.toArray(new Entry[0]));

        // A second central-directory entry of the same name, after and before the signed one.
        List<Entry> dup = entriesOf(new File(data, "dup.jar"));
        Entry evil = Entry.stored("p/Dup.class", TestJars.classFile("p.Dup", "evil"));
        List<Entry> after = new ArrayList<>(dup);
        after.add(evil);
        writeZip(new File(data, "dup-after.jar"), after.toArray(new Entry[0]));
        List<Entry> before = new ArrayList<>(dup);
        before.add(1, evil);
        writeZip(new File(data, "dup-before.jar"), before.toArray(new Entry[0]));

        makeSignatureFixtures();

        String digest = "Name: a/b/a/a/a.class\r\nSHA-256-Digest: AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=";
        writeZip(new File(data, "bomb-unsigned.jar"), manifest(), bomb("a/b/a/a/a.class", BOMB, BOMB));
        writeZip(new File(data, "bomb-digest.jar"), manifest("", digest), bomb("a/b/a/a/a.class", BOMB, BOMB));
        writeZip(new File(data, "bomb-lying.jar"), manifest("", digest), bomb("a/b/a/a/a.class", BOMB, 100));
    }
}
