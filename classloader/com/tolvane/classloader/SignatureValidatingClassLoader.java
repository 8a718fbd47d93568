package com.tolvane.classloader;

import java.io.ByteArrayInputStream;
import java.io.File;
import java.io.FileNotFoundException;
import java.io.IOException;
import java.io.InputStream;
import java.io.PrintWriter;
import java.net.MalformedURLException;
import java.net.URI;
import java.net.URL;
import java.net.URLConnection;
import java.net.URLStreamHandler;
import java.net.JarURLConnection;
import java.net.URLClassLoader;
import java.security.CodeSigner;
import java.security.CodeSource;
import java.security.ProtectionDomain;
import java.math.BigInteger;
import java.security.MessageDigest;
import java.security.Principal;
import java.security.PublicKey;
import java.security.cert.Certificate;
import java.security.cert.CertificateEncodingException;
import java.security.cert.CertificateException;
import java.security.cert.CertificateFactory;
import java.security.cert.X509Certificate;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.Date;
import java.util.Enumeration;
import java.util.HashMap;
import java.util.Hashtable;
import java.util.IdentityHashMap;
import java.util.Iterator;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.StringTokenizer;
import java.util.jar.Attributes;
import java.util.jar.JarEntry;
import java.util.jar.JarFile;
import java.util.jar.Manifest;
import java.util.zip.ZipFile;

/**
 * Loads the application's classes from its own jars, and hands a class out only when its entry is
 * signed by a signer whose whole certificate path carries the trusted digest. Names its jars do
 * not hold go to the parent, which may answer only with the runtime's own classes, then to the
 * jars their manifests name in Class-Path, under the same signer rule. Resources come only from
 * entries that pass that rule too.
 *
 * Started by the launcher, it finds the launcher's jar checks registered as its natives: each jar
 * is then read without the VM's verifying reader, its signature checked once natively, and each
 * entry's bytes digested natively against the signed manifest, so that nothing of the VM's
 * security providers is set up on the way to the main class. Elsewhere it checks through the VM's
 * verifying jar reader.
 */
public class SignatureValidatingClassLoader extends URLClassLoader {
    public static final boolean DEBUG = false;

    // No class file of the application comes near this; an entry that inflates beyond it is
    // refused before it can exhaust memory.
    private static final int MAX_CLASS_SIZE = 64 * 1024 * 1024;
    // The ending of a manifest attribute that holds an entry's digest ("SHA-256-Digest").
    private static final String DIGEST_SUFFIX = "-DIGEST";

    private Hashtable<String, Class> classes = new Hashtable<String, Class>();
    private Hashtable<String, byte[]> classBytes = new Hashtable<String, byte[]>();
    private Hashtable<String, Certificate[]> classCerts = new Hashtable<String, Certificate[]>();
    private Hashtable<String, URL> resources = new Hashtable<String, URL>();
    private MessageDigest sha1md = null;
    private PrintWriter out = null;
    private ArrayList<JarFile> jars = new ArrayList<JarFile>();
    private byte[] signature = null;

    // Each jar's manifest, read once: it tells which entries the signature covers.
    private ArrayList<Manifest> manifests = new ArrayList<Manifest>();
    // Jars named by Class-Path, searched after the parent; their manifests; their canonical paths.
    private ArrayList<JarFile> classPathJars = new ArrayList<JarFile>();
    private ArrayList<Manifest> classPathManifests = new ArrayList<Manifest>();
    private ArrayList<String> classPathSeen = new ArrayList<String>();
    // Canonical directories that Class-Path entries may name files under.
    private ArrayList<String> roots = new ArrayList<String>();
    // Signers that passed the check: jar files share one signer object among the entries it signs,
    // so its certificate path is digested once.
    private Map<CodeSigner, Boolean> trustedSigners =
        Collections.synchronizedMap(new IdentityHashMap<CodeSigner, Boolean>());
    // Each jar's own URL handler, which serves its checked entries; jars of both lists.
    private Map<JarFile, EntryHandler> handlers =
        Collections.synchronizedMap(new IdentityHashMap<JarFile, EntryHandler>());
    private Map<JarFile, Boolean> signedJars =
        Collections.synchronizedMap(new IdentityHashMap<JarFile, Boolean>());

    // Whether the launcher registered its jar checks on this class: asked when the first instance
    // is made, which the launcher does only after registering them.
    private static Boolean nativesRegistered;
    private final boolean checksNatively;

    // Loads of different names run at once; each name has its own lock (getClassLoadingLock).
    static {
        registerAsParallelCapable();
    }

    public SignatureValidatingClassLoader(ClassLoader parent) throws Exception {
        super(new URL[0], parent);
        checksNatively = nativeChecksRegistered();
        if (!checksNatively) {
            sha1md = MessageDigest.getInstance("SHA-1");
        }
    }

    // True; throws UnsatisfiedLinkError when the launcher did not register it.
    private static native boolean nativeChecks();

    // {names, digests, certificates} of a jar whose block verifies over its .SF with the
    // certificate of SHA-1 digest `pinned`: the UTF-8 name and value of every digest the signature
    // covers, and the block's certificates (DER, the signer's first). Null when it does not hold.
    private static native Object[] signedManifest(byte[] manifest, byte[] signatureFile, byte[] block,
                                                  byte[] pinned);

    // The digest of bytes [offset, offset + count) of `data` by the algorithm whose digests are
    // `length` bytes long (32, 48 or 64: SHA-256, -384, -512).
    private static native byte[] entryDigest(int length, byte[] data, int offset, int count);

    private static synchronized boolean nativeChecksRegistered() {
        if (nativesRegistered == null) {
            try {
                nativesRegistered = Boolean.valueOf(nativeChecks());
            } catch (UnsatisfiedLinkError e) {
                nativesRegistered = Boolean.FALSE;
            }
        }
        return nativesRegistered.booleanValue();
    }

    public Class loadClass(String name) throws ClassNotFoundException {
        // One lock per name across lookup, search, check and definition: two threads asking for
        // the same class never both define it.
        synchronized (getClassLoadingLock(name)) {
            Class c = classes.get(name);
            if (c != null) {
                return c;
            }
            c = findClassInJars(name);
            if (c != null) {
                classes.put(name, c);
                return c;
            }
            c = findLoadedClass(name);
            if (c == null) {
                c = fromParent(name);
            }
            if (c == null) {
                c = findClass(name);
            }
            return c;
        }
    }

    protected Class loadClass(String name, boolean resolve) throws ClassNotFoundException {
        Class c = loadClass(name);
        if (resolve) {
            resolveClass(c);
        }
        return c;
    }

    // The parent's answer counts only for a class of the runtime image's own modules, whichever of
    // the runtime's loaders defines it; a class read from some class path, or from an appendix to
    // the boot class path, lies in an unnamed module and is treated as absent.
    private Class fromParent(String name) {
        Class c;
        try {
            ClassLoader parent = getParent();
            c = parent != null ? parent.loadClass(name) : Class.forName(name, false, null);
        } catch (ClassNotFoundException e) {
            return null;
        }
        Module module = c.getModule();
        if (module.isNamed() && module.getLayer() == ModuleLayer.boot()) {
            return c;
        }
        return null;
    }

    // The jars named by Class-Path, under the same signer rule as the instance's own jars.
    protected Class findClass(String name) throws ClassNotFoundException {
        for (int i = 0; i < classPathJars.size(); i++) {
            Class c = loadClassData(classPathJars.get(i), classPathManifests.get(i), name);
            if (c != null) {
                return c;
            }
        }
        throw new ClassNotFoundException(name);
    }

    protected Class findClassInJars(String name) {
        for (int i = 0; i < jars.size(); i++) {
            Class c = loadClassData(jars.get(i), manifests.get(i), name);
            if (c != null) {
                return c;
            }
        }
        return null;
    }

    public URL getResource(String name) {
        URL url = resources.get(name);
        if (url != null) {
            return url;
        }
        url = findResource(name);
        if (url != null) {
            resources.put(name, url);
        }
        return url;
    }

    public URL findResource(String name) {
        URL url = signedResource(jars, manifests, name);
        if (url == null) {
            url = signedResource(classPathJars, classPathManifests, name);
        }
        return url;
    }

    // Every signed entry of that name, the loader's own jars first, then the Class-Path jars: the
    // order in which classes are searched. The parent is not asked, as for getResource.
    public Enumeration<URL> findResources(String name) {
        List<URL> found = new ArrayList<URL>();
        for (int i = 0; i < jars.size(); i++) {
            URL url = resourceURL(jars.get(i), manifests.get(i), name);
            if (url != null) {
                found.add(url);
            }
        }
        for (int i = 0; i < classPathJars.size(); i++) {
            URL url = resourceURL(classPathJars.get(i), classPathManifests.get(i), name);
            if (url != null) {
                found.add(url);
            }
        }
        return Collections.enumeration(found);
    }

    public Enumeration<URL> getResources(String name) throws IOException {
        return findResources(name);
    }

    // The checked bytes, through the resource's own URL: nothing is read from the jar's path.
    public InputStream getResourceAsStream(String name) {
        URL url = getResource(name);
        if (url == null) {
            return null;
        }
        try {
            return url.openStream();
        } catch (IOException e) {
            return null;
        }
    }

    public void setJarPaths(String[] paths, byte[] signature) {
        this.signature = signature;
        trustedSigners.clear();
        // Class-Path may name files only under the directories the launcher's own jars lie in, or
        // under the install directory that holds their lib directory.
        for (int i = 0; paths != null && i < paths.length; i++) {
            try {
                File dir = new File(paths[i]).getParentFile();
                if (dir != null) {
                    dir = dir.getCanonicalFile();
                    addRoot(dir);
                    if (dir.getName().equalsIgnoreCase("lib") && dir.getParentFile() != null) {
                        addRoot(dir.getParentFile());
                    }
                }
            } catch (Exception e) {
                // The path is reported below, where it is opened.
            }
        }
        for (int i = 0; i < paths.length; i++) {
            try {
                File file = new File(paths[i]);
                URL base = file.getParentFile().toURI().toURL();
                JarFile jar = openJar(file);
                Manifest manifest = jar.getManifest();
                if (manifest == null) {
                    jar.close();
                    continue;
                }
                jars.add(jar);
                manifests.add(manifest);
                handlers.put(jar, new EntryHandler(this, jar, manifest, file));
                addClassPath(manifest, base);
            } catch (Exception e) {
                e.printStackTrace();
            }
        }
    }

    private void addRoot(File dir) {
        String path = dir.getPath();
        if (!path.endsWith(File.separator)) {
            path += File.separator;
        }
        if (!roots.contains(path)) {
            roots.add(path);
        }
    }

    // Opens the jars a manifest names, and the jars their manifests name in turn. A token that is
    // not a local file under one of the roots is reported and dropped; the others are kept.
    private void addClassPath(Manifest manifest, URL base) throws IOException {
        String classPath = manifest.getMainAttributes().getValue(Attributes.Name.CLASS_PATH);
        if (classPath == null) {
            return;
        }
        StringTokenizer tokens = new StringTokenizer(classPath);
        while (tokens.hasMoreTokens()) {
            URL url = new URL(base, tokens.nextToken());
            File file;
            try {
                file = localFileUnderRoots(url);
            } catch (Exception e) {
                // One line each: a distribution's jars may name dozens of system paths.
                System.err.println(e);
                continue;
            }
            String canonical = file.getPath();
            if (classPathSeen.contains(canonical)) {
                continue;
            }
            classPathSeen.add(canonical);
            addURL(url);
            if (!file.isFile()) {
                continue;
            }
            try {
                JarFile jar = openJar(file);
                Manifest named = jar.getManifest();
                if (named == null) {
                    jar.close();
                    continue;
                }
                classPathJars.add(jar);
                classPathManifests.add(named);
                handlers.put(jar, new EntryHandler(this, jar, named, file));
                addClassPath(named, file.getParentFile().toURI().toURL());
            } catch (IOException e) {
                e.printStackTrace();
            }
        }
    }

    private File localFileUnderRoots(URL url) throws Exception {
        String host = url.getHost();
        if (!"file".equalsIgnoreCase(url.getProtocol()) || (host != null && host.length() > 0)) {
            throw new SecurityException("Class-Path entry refused, not a local file: " + url);
        }
        File file = new File(url.toURI()).getCanonicalFile();
        String path = file.getPath();
        for (int i = 0; i < roots.size(); i++) {
            if (path.startsWith(roots.get(i))) {
                return file;
            }
        }
        throw new SecurityException("Class-Path entry refused, outside the application's directories: " + url);
    }

    private static String[] getJarPaths() {
        return null;
    }

    // For a multi-release jar giving the entries meant for the running runtime; verifying through
    // the VM's reader unless the natives check the jar.
    private JarFile openJar(File file) throws IOException {
        return new JarFile(file, !checksNatively, ZipFile.OPEN_READ, Runtime.version());
    }

    // The jar's own index finds the entry; the name check keeps the match exact, since the index
    // also answers a name with a directory entry "name/".
    private static JarEntry findJarEntry(JarFile jar, String name) {
        JarEntry entry = jar.getJarEntry(name);
        if (entry != null && entry.getName().equals(name)) {
            return entry;
        }
        return null;
    }

    // Whether the manifest holds a digest for the entry: without one no signature can cover it, so
    // there is no reason to read it.
    private static boolean hasDigest(Manifest manifest, String name) {
        Attributes attributes = manifest.getAttributes(name);
        if (attributes == null) {
            return false;
        }
        // Asked for every class: the names are compared in place, without an upper-cased copy.
        Iterator<Object> keys = attributes.keySet().iterator();
        while (keys.hasNext()) {
            String key = keys.next().toString();
            if (key.regionMatches(true, key.length() - DIGEST_SUFFIX.length(), DIGEST_SUFFIX, 0,
                                  DIGEST_SUFFIX.length())) {
                return true;
            }
        }
        return false;
    }

    private Class loadClassData(JarFile jar, Manifest manifest, String name) {
        JarEntry entry = findJarEntry(jar, name.replace('.', '/') + ".class");
        if (entry == null) {
            return null;
        }
        // A multi-release jar's entry for this runtime is signed under its versioned name.
        if (!hasDigest(manifest, entry.getRealName())) {
            throw new SecurityException(name + " not signed");
        }
        if (entry.getSize() > MAX_CLASS_SIZE) {
            throw new SecurityException(name + " too large");
        }

        // The signers of an entry are known only once it has been read to its end, and a class
        // is defined only after they have been checked: a class that fails never exists.
        byte[] bytes = null;
        try {
            InputStream in = jar.getInputStream(entry);
            try {
                bytes = readClass(in, entry.getSize(), name);
            } finally {
                in.close();
            }
        } catch (IOException e) {
            bytes = null;
        }

        EntryHandler handler = handlers.get(jar);
        CodeSigner[] signers = null;
        String problem;
        if (checksNatively) {
            problem = nativeProblem(handler, entry.getRealName(), bytes);
        } else {
            signers = entry.getCodeSigners();
            problem = signerProblem(signers);
        }
        if (problem != null) {
            throw new SecurityException(name + problem);
        }
        if (bytes == null) {
            return null;
        }
        URL location = handler.jarURL;
        int dot = name.lastIndexOf('.');
        if (dot != -1) {
            String packageName = name.substring(0, dot);
            if (getPackage(packageName) == null) {
                try {
                    // Title, version and vendor as the manifest states them (About boxes read them).
                    definePackage(packageName, manifest, location);
                } catch (IllegalArgumentException e) {
                    // Another thread defined it first.
                    if (getPackage(packageName) == null) {
                        throw e;
                    }
                }
            }
        }
        // The code source names the jar and its signers: applications find their files through it.
        return defineClass(name, bytes, 0, bytes.length, domain(handler, signers));
    }

    // Reads an entry to its end into one array sized by the entry's header. An entry that inflates
    // to more than its header says is refused, as is one beyond MAX_CLASS_SIZE; only an entry
    // without a recorded size grows its array, up to that limit.
    private static byte[] readClass(InputStream in, long size, String name) throws IOException {
        byte[] bytes = new byte[size >= 0 ? (int) size : 8192];
        int length = 0;
        while (true) {
            if (length == bytes.length) {
                int next = in.read();
                if (next < 0) {
                    return bytes;
                }
                if (size >= 0 || length >= MAX_CLASS_SIZE) {
                    throw new SecurityException(name + " too large");
                }
                bytes = Arrays.copyOf(bytes, (int) Math.min(MAX_CLASS_SIZE, 2L * length));
                bytes[length++] = (byte) next;
            }
            int n = in.read(bytes, length, bytes.length - length);
            if (n < 0) {
                return Arrays.copyOf(bytes, length);
            }
            length += n;
        }
    }

    // Null when the first signer's whole certificate path carries the trusted digest, else the
    // message suffix that says why not.
    private String signerProblem(CodeSigner[] signers) {
        if (signers == null || signers.length == 0) {
            return " not signed";
        }
        CodeSigner signer = signers[0];
        if (trustedSigners.containsKey(signer)) {
            return null;
        }
        // Every certificate of the first signer's path must carry the trusted digest, the
        // issuers' included.
        List<? extends Certificate> path = signer.getSignerCertPath().getCertificates();
        Iterator<? extends Certificate> it = path.iterator();
        while (it.hasNext()) {
            Certificate certificate = it.next();
            byte[] encoded;
            try {
                encoded = certificate.getEncoded();
            } catch (CertificateEncodingException e) {
                return " signature invalid";
            }
            if (signature == null || signature.length < 2 || encoded == null) {
                return " signature invalid";
            }
            byte[] digest;
            // One digest object per instance; loads on several threads take turns with it.
            synchronized (this) {
                if (sha1md == null) {
                    try {
                        sha1md = MessageDigest.getInstance("SHA-1");
                    } catch (java.security.NoSuchAlgorithmException e) {
                        return " signature invalid";
                    }
                }
            }
            synchronized (sha1md) {
                sha1md.reset();
                digest = sha1md.digest(encoded);
            }
            if (!Arrays.equals(digest, signature)) {
                return " signature invalid";
            }
        }
        trustedSigners.put(signer, Boolean.TRUE);
        return null;
    }

    // The first jar of the list whose entry of that name passes the signer rule.
    private URL signedResource(List<JarFile> list, List<Manifest> listManifests, String name) {
        for (int i = 0; i < list.size(); i++) {
            URL url = resourceURL(list.get(i), listManifests.get(i), name);
            if (url != null) {
                return url;
            }
        }
        return null;
    }

    private URL resourceURL(JarFile jar, Manifest manifest, String name) {
        if (checkedBytes(jar, manifest, name) == null) {
            return null;
        }
        try {
            return handlers.get(jar).url(name);
        } catch (MalformedURLException e) {
            // This jar's path makes no URL; the next jar may still have the resource.
            return null;
        }
    }

    // The entry's bytes when its first signer passes the rule, else null. Read from the jar held
    // open, to its end (which verifies it and makes its signers known), within the class cap. The
    // manifest itself is covered by the signature of the jar's signed entries.
    byte[] checkedBytes(JarFile jar, Manifest manifest, String name) {
        boolean isManifest = name.equals(JarFile.MANIFEST_NAME);
        JarEntry entry = findJarEntry(jar, name);
        if (entry == null || entry.isDirectory() || (!isManifest && !hasDigest(manifest, entry.getRealName()))) {
            return null;
        }
        if ((isManifest && !jarSigned(jar, manifest)) || entry.getSize() > MAX_CLASS_SIZE) {
            return null;
        }
        try {
            byte[] bytes;
            InputStream in = jar.getInputStream(entry);
            try {
                bytes = readClass(in, entry.getSize(), name);
            } finally {
                in.close();
            }
            String problem = checksNatively ? nativeProblem(handlers.get(jar), entry.getRealName(), bytes)
                                           : signerProblem(entry.getCodeSigners());
            if (!isManifest && problem != null) {
                return null;
            }
            return bytes;
        } catch (IOException e) {
            // Unreadable here; the next jar may still have it.
        } catch (SecurityException e) {
            // Content that does not match its signed digest, or beyond the cap.
        }
        return null;
    }

    // Whether some entry of the jar passes the signer rule; asked once per jar.
    private boolean jarSigned(JarFile jar, Manifest manifest) {
        Boolean known = signedJars.get(jar);
        if (known != null) {
            return known.booleanValue();
        }
        boolean signed = anySignedEntry(jar, manifest);
        signedJars.put(jar, Boolean.valueOf(signed));
        return signed;
    }

    private boolean anySignedEntry(JarFile jar, Manifest manifest) {
        Iterator<String> names = manifest.getEntries().keySet().iterator();
        while (names.hasNext()) {
            String name = names.next();
            if (!name.equals(JarFile.MANIFEST_NAME) && checkedBytes(jar, manifest, name) != null) {
                return true;
            }
        }
        return false;
    }

    // Null when the bytes of the jar's entry `realName` match every digest the signed manifest
    // holds for it, else the message suffix that says why not. Bytes that differ from their
    // digest end the load as the VM's verifying reader ends it. Null bytes (an unreadable entry)
    // are not digested.
    private String nativeProblem(EntryHandler handler, String realName, byte[] bytes) {
        checkSignature(handler);
        if (handler.refusal != null) {
            return handler.refusal;
        }
        byte[][] digests = handler.covered.get(realName);
        if (digests == null) {
            return " not signed";
        }
        for (int i = 0; bytes != null && i < digests.length; i++) {
            byte[] actual = entryDigest(digests[i].length, bytes, 0, bytes.length);
            if (actual == null || !Arrays.equals(actual, digests[i])) {
                throw new SecurityException(algorithmOf(digests[i].length) + " digest error for " + realName);
            }
        }
        return null;
    }

    private static String algorithmOf(int length) {
        return length == 32 ? "SHA-256" : length == 48 ? "SHA-384" : "SHA-512";
    }

    // Once per jar: the manifest, the one signature file and its block, read from the jar held
    // open, go to the natives; their answer says which entries the signature covers. A jar with
    // no signature file signs nothing; one with several, or whose signature does not hold, is
    // refused whole.
    private void checkSignature(EntryHandler handler) {
        synchronized (handler) {
            if (handler.covered != null || handler.refusal != null) {
                return;
            }
            handler.refusal = " signature invalid";
            JarEntry[] pair = signatureFiles(handler.jar);
            if (pair == null) {
                handler.refusal = " not signed";
                return;
            }
            if (pair.length == 0) {
                return;
            }
            Object[] checked;
            try {
                byte[] manifest = entryBytes(handler.jar, handler.jar.getJarEntry(JarFile.MANIFEST_NAME));
                byte[] sf = entryBytes(handler.jar, pair[0]);
                byte[] block = entryBytes(handler.jar, pair[1]);
                checked = signedManifest(manifest, sf, block, signature);
            } catch (IOException e) {
                return;
            } catch (SecurityException e) {
                return;
            }
            if (checked == null) {
                return;
            }
            byte[][] names = (byte[][]) checked[0];
            byte[][] values = (byte[][]) checked[1];
            byte[][] certificates = (byte[][]) checked[2];
            HashMap<String, byte[][]> covered = new HashMap<String, byte[][]>(names.length * 2);
            for (int i = 0; i < names.length; i++) {
                String name = new String(names[i], java.nio.charset.StandardCharsets.UTF_8);
                byte[][] known = covered.get(name);
                byte[][] all = known == null ? new byte[1][] : Arrays.copyOf(known, known.length + 1);
                all[all.length - 1] = values[i];
                covered.put(name, all);
            }
            handler.certificates = new Certificate[certificates.length];
            for (int i = 0; i < certificates.length; i++) {
                handler.certificates[i] = new LazyCertificate(certificates[i]);
            }
            handler.covered = covered;
            handler.refusal = null;
        }
    }

    // The jar's signature file and block, {.SF, block}; null when it has none, empty when it has
    // several, or one without its partner. jar tools write them right after the manifest, so the
    // entries are read up to the first one outside META-INF/ unless none was found there.
    private static JarEntry[] signatureFiles(JarFile jar) {
        List<JarEntry> files = new ArrayList<JarEntry>();
        List<JarEntry> blocks = new ArrayList<JarEntry>();
        boolean prefixOnly = true;
        for (int pass = 0; pass < 2 && files.isEmpty() && blocks.isEmpty(); pass++) {
            Enumeration<JarEntry> entries = jar.entries();
            while (entries.hasMoreElements()) {
                JarEntry entry = entries.nextElement();
                String name = entry.getName().toUpperCase(java.util.Locale.ROOT);
                if (!name.startsWith("META-INF/")) {
                    if (prefixOnly) {
                        break;
                    }
                    continue;
                }
                if (name.indexOf('/', 9) != -1) {
                    continue;
                }
                if (name.endsWith(".SF")) {
                    files.add(entry);
                } else if (name.endsWith(".RSA") || name.endsWith(".EC") || name.endsWith(".DSA")) {
                    blocks.add(entry);
                }
            }
            prefixOnly = false;
        }
        if (files.isEmpty() && blocks.isEmpty()) {
            return null;
        }
        if (files.size() != 1 || blocks.size() != 1) {
            return new JarEntry[0];
        }
        String sf = files.get(0).getName();
        String block = blocks.get(0).getName();
        if (!sf.substring(0, sf.lastIndexOf('.')).equalsIgnoreCase(block.substring(0, block.lastIndexOf('.')))) {
            return new JarEntry[0];
        }
        return new JarEntry[] {files.get(0), blocks.get(0)};
    }

    private static byte[] entryBytes(JarFile jar, JarEntry entry) throws IOException {
        if (entry == null || entry.getSize() > MAX_CLASS_SIZE) {
            throw new IOException("unreadable");
        }
        InputStream in = jar.getInputStream(entry);
        try {
            return readClass(in, entry.getSize(), entry.getName());
        } finally {
            in.close();
        }
    }

    // One domain per jar: every class it yields passed the same signer rule.
    private ProtectionDomain domain(EntryHandler handler, CodeSigner[] signers) {
        synchronized (handler) {
            if (handler.domain == null) {
                CodeSource source = checksNatively ? new CodeSource(handler.jarURL, handler.certificates)
                                                  : new CodeSource(handler.jarURL, signers);
                handler.domain = new ProtectionDomain(source, getPermissions(source), this, null);
            }
            return handler.domain;
        }
    }

    // The URL handler of one jar held open. Its URLs read "jar:<the jar's file URL>!/<entry>", both
    // parts encoded, so that they convert with toURI() whatever the path holds ("!" included); what
    // they open is the checked entry of this jar, never a file found again by its path.
    static final class EntryHandler extends URLStreamHandler {
        final SignatureValidatingClassLoader loader;
        final JarFile jar;
        final Manifest manifest;
        final URL jarURL;
        ProtectionDomain domain;
        // Natively checked jars: the digests of the covered entries by real name, the block's
        // certificates, or why the jar signs nothing; set once under the handler's lock.
        HashMap<String, byte[][]> covered;
        Certificate[] certificates;
        String refusal;
        private final String prefix;

        EntryHandler(SignatureValidatingClassLoader loader, JarFile jar, Manifest manifest, File file)
            throws IOException {
            this.loader = loader;
            this.jar = jar;
            this.manifest = manifest;
            this.jarURL = new URL(file.getAbsoluteFile().toURI().toString().replace("!", "%21"));
            this.prefix = jarURL.toString() + "!/";
        }

        URL url(String name) throws MalformedURLException {
            try {
                String path = new URI(null, null, "/" + name, null).getRawPath().substring(1);
                return new URL("jar", "", -1, prefix + path.replace("!", "%21"), this);
            } catch (java.net.URISyntaxException e) {
                throw new MalformedURLException(e.getMessage());
            }
        }

        protected URLConnection openConnection(URL url) throws IOException {
            String file = url.getFile();
            if (!"jar".equals(url.getProtocol()) || !file.startsWith(prefix)) {
                throw new FileNotFoundException(url.toString());
            }
            return new EntryConnection(url, this);
        }
    }

    // One checked entry, read when connected.
    static final class EntryConnection extends JarURLConnection {
        private final EntryHandler handler;
        private byte[] bytes;

        EntryConnection(URL url, EntryHandler handler) throws MalformedURLException {
            super(url);
            this.handler = handler;
        }

        public void connect() throws IOException {
            if (bytes == null) {
                String name = getEntryName();
                bytes = name == null ? null : handler.loader.checkedBytes(handler.jar, handler.manifest, name);
                if (bytes == null) {
                    throw new FileNotFoundException(url.toString());
                }
                connected = true;
            }
        }

        public InputStream getInputStream() throws IOException {
            connect();
            return new ByteArrayInputStream(bytes);
        }

        public long getContentLengthLong() {
            try {
                connect();
                return bytes.length;
            } catch (IOException e) {
                return -1;
            }
        }

        public int getContentLength() {
            long length = getContentLengthLong();
            return length > Integer.MAX_VALUE ? -1 : (int) length;
        }

        public String getContentType() {
            String type = getEntryName() == null ? null : guessContentTypeFromName(getEntryName());
            return type == null ? "content/unknown" : type;
        }

        // The jar itself stays the loader's: handing it out would let its reader take unchecked
        // entries, or close it under the loader.
        public JarFile getJarFile() throws IOException {
            throw new IOException("the jar of " + url + " is not handed out");
        }

        public Manifest getManifest() throws IOException {
            return new Manifest(handler.manifest);
        }

        public JarEntry getJarEntry() throws IOException {
            connect();
            return handler.jar.getJarEntry(getEntryName());
        }
    }

    // A certificate of a natively checked block, parsed only when something asks more than its
    // encoding: defining classes compares code sources' certificates by identity, so a start sets
    // up no certificate factory.
    static final class LazyCertificate extends X509Certificate {
        private final byte[] encoded;
        private X509Certificate parsed;

        LazyCertificate(byte[] encoded) {
            this.encoded = encoded;
        }

        private synchronized X509Certificate parsed() {
            if (parsed == null) {
                try {
                    parsed = (X509Certificate) CertificateFactory.getInstance("X.509")
                                 .generateCertificate(new ByteArrayInputStream(encoded));
                } catch (CertificateException e) {
                    throw new IllegalStateException(e);
                }
            }
            return parsed;
        }

        public byte[] getEncoded() {
            return encoded.clone();
        }

        public void checkValidity() throws java.security.cert.CertificateExpiredException,
                                           java.security.cert.CertificateNotYetValidException {
            parsed().checkValidity();
        }

        public void checkValidity(Date date) throws java.security.cert.CertificateExpiredException,
                                                    java.security.cert.CertificateNotYetValidException {
            parsed().checkValidity(date);
        }

        public int getVersion() {
            return parsed().getVersion();
        }

        public BigInteger getSerialNumber() {
            return parsed().getSerialNumber();
        }

        public Principal getIssuerDN() {
            return parsed().getIssuerDN();
        }

        public Principal getSubjectDN() {
            return parsed().getSubjectDN();
        }

        public javax.security.auth.x500.X500Principal getIssuerX500Principal() {
            return parsed().getIssuerX500Principal();
        }

        public javax.security.auth.x500.X500Principal getSubjectX500Principal() {
            return parsed().getSubjectX500Principal();
        }

        public Date getNotBefore() {
            return parsed().getNotBefore();
        }

        public Date getNotAfter() {
            return parsed().getNotAfter();
        }

        public byte[] getTBSCertificate() throws CertificateEncodingException {
            return parsed().getTBSCertificate();
        }

        public byte[] getSignature() {
            return parsed().getSignature();
        }

        public String getSigAlgName() {
            return parsed().getSigAlgName();
        }

        public String getSigAlgOID() {
            return parsed().getSigAlgOID();
        }

        public byte[] getSigAlgParams() {
            return parsed().getSigAlgParams();
        }

        public boolean[] getIssuerUniqueID() {
            return parsed().getIssuerUniqueID();
        }

        public boolean[] getSubjectUniqueID() {
            return parsed().getSubjectUniqueID();
        }

        public boolean[] getKeyUsage() {
            return parsed().getKeyUsage();
        }

        public int getBasicConstraints() {
            return parsed().getBasicConstraints();
        }

        public boolean hasUnsupportedCriticalExtension() {
            return parsed().hasUnsupportedCriticalExtension();
        }

        public Set<String> getCriticalExtensionOIDs() {
            return parsed().getCriticalExtensionOIDs();
        }

        public Set<String> getNonCriticalExtensionOIDs() {
            return parsed().getNonCriticalExtensionOIDs();
        }

        public byte[] getExtensionValue(String oid) {
            return parsed().getExtensionValue(oid);
        }

        public PublicKey getPublicKey() {
            return parsed().getPublicKey();
        }

        public void verify(PublicKey key) throws CertificateException, java.security.NoSuchAlgorithmException,
                                                 java.security.InvalidKeyException,
                                                 java.security.NoSuchProviderException,
                                                 java.security.SignatureException {
            parsed().verify(key);
        }

        public void verify(PublicKey key, String provider)
            throws CertificateException, java.security.NoSuchAlgorithmException, java.security.InvalidKeyException,
                   java.security.NoSuchProviderException, java.security.SignatureException {
            parsed().verify(key, provider);
        }

        public String toString() {
            return parsed().toString();
        }
    }
}
