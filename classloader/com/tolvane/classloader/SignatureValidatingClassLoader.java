package com.tolvane.classloader;

import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.io.PrintWriter;
import java.net.MalformedURLException;
import java.net.URL;
import java.net.URLClassLoader;
import java.security.CodeSigner;
import java.security.MessageDigest;
import java.security.cert.Certificate;
import java.security.cert.CertificateEncodingException;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Hashtable;
import java.util.Iterator;
import java.util.List;
import java.util.StringTokenizer;
import java.util.jar.Attributes;
import java.util.jar.JarEntry;
import java.util.jar.JarFile;
import java.util.jar.Manifest;

/**
 * Loads the application's classes from its own jars, and hands a class out only when its entry is
 * signed by a signer whose whole certificate path carries the trusted digest. Names its jars do
 * not hold go to the parent, then to the jars their manifests name in Class-Path (unchecked).
 */
public class SignatureValidatingClassLoader extends URLClassLoader {
    public static final boolean DEBUG = false;

    private Hashtable<String, Class> classes = new Hashtable<String, Class>();
    private Hashtable<String, byte[]> classBytes = new Hashtable<String, byte[]>();
    private Hashtable<String, Certificate[]> classCerts = new Hashtable<String, Certificate[]>();
    private Hashtable<String, URL> resources = new Hashtable<String, URL>();
    private MessageDigest sha1md = null;
    private PrintWriter out = null;
    private ArrayList<JarFile> jars = new ArrayList<JarFile>();
    private byte[] signature = null;

    // Loads of different names run at once; each name has its own lock (getClassLoadingLock).
    static {
        registerAsParallelCapable();
    }

    public SignatureValidatingClassLoader(ClassLoader parent) throws Exception {
        super(new URL[0], parent);
        sha1md = MessageDigest.getInstance("SHA-1");
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
            return super.loadClass(name);
        }
    }

    protected Class findClassInJars(String name) {
        for (int i = 0; i < jars.size(); i++) {
            Class c = loadClassData(jars.get(i), name);
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
        for (int i = 0; i < jars.size(); i++) {
            JarFile jar = jars.get(i);
            JarEntry entry = findJarEntry(jar, name);
            if (entry != null) {
                try {
                    return new URL("jar:file:" + jar.getName() + "!/" + entry.getName());
                } catch (MalformedURLException e) {
                    // This jar's path makes no URL; the next jar may still have the resource.
                }
            }
        }
        return super.findResource(name);
    }

    public void setJarPaths(String[] paths, byte[] signature) {
        this.signature = signature;
        for (int i = 0; i < paths.length; i++) {
            try {
                File file = new File(paths[i]);
                URL base = file.getParentFile().toURI().toURL();
                JarFile jar = new JarFile(file);
                Manifest manifest = jar.getManifest();
                if (manifest == null) {
                    jar.close();
                    continue;
                }
                jars.add(jar);
                String classPath = manifest.getMainAttributes().getValue(Attributes.Name.CLASS_PATH);
                if (classPath != null) {
                    StringTokenizer tokens = new StringTokenizer(classPath);
                    while (tokens.hasMoreTokens()) {
                        addURL(new URL(base, tokens.nextToken()));
                    }
                }
            } catch (Exception e) {
                e.printStackTrace();
            }
        }
    }

    private static String[] getJarPaths() {
        return null;
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

    private Class loadClassData(JarFile jar, String name) {
        JarEntry entry = findJarEntry(jar, name.replace('.', '/') + ".class");
        if (entry == null) {
            return null;
        }
        int dot = name.lastIndexOf('.');
        if (dot != -1) {
            String packageName = name.substring(0, dot);
            if (getPackage(packageName) == null) {
                try {
                    definePackage(packageName, "", "", "", "", "", "", null);
                } catch (IllegalArgumentException e) {
                    // Another thread defined it first.
                    if (getPackage(packageName) == null) {
                        throw e;
                    }
                }
            }
        }

        // The signers of an entry are known only once it has been read to its end, and a class
        // is defined only after they have been checked: a class that fails never exists.
        byte[] bytes = null;
        try {
            InputStream in = jar.getInputStream(entry);
            try {
                ByteArrayOutputStream buffer = new ByteArrayOutputStream();
                copy(in, buffer);
                bytes = buffer.toByteArray();
            } finally {
                in.close();
            }
        } catch (IOException e) {
            bytes = null;
        }

        CodeSigner[] signers = entry.getCodeSigners();
        if (signers == null || signers.length == 0) {
            throw new SecurityException(name + " not signed");
        }
        // Every certificate of the first signer's path must carry the trusted digest, the
        // issuers' included.
        List<? extends Certificate> path = signers[0].getSignerCertPath().getCertificates();
        Iterator<? extends Certificate> it = path.iterator();
        while (it.hasNext()) {
            Certificate certificate = it.next();
            byte[] encoded;
            try {
                encoded = certificate.getEncoded();
            } catch (CertificateEncodingException e) {
                throw new SecurityException(name + " signature invalid");
            }
            if (signature == null || signature.length < 2 || encoded == null) {
                throw new SecurityException(name + " signature invalid");
            }
            byte[] digest;
            // One digest object per instance; loads on several threads take turns with it.
            synchronized (sha1md) {
                sha1md.reset();
                digest = sha1md.digest(encoded);
            }
            if (!Arrays.equals(digest, signature)) {
                throw new SecurityException(name + " signature invalid");
            }
        }

        if (bytes == null) {
            return null;
        }
        return defineClass(name, bytes, 0, bytes.length);
    }

    private void copy(InputStream in, OutputStream out) throws IOException {
        byte[] buffer = new byte[1024];
        int n;
        while ((n = in.read(buffer)) >= 0) {
            out.write(buffer, 0, n);
        }
    }
}
