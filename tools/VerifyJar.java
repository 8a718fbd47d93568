// Checks an application jar with the launcher's own rule before it is published: every class
// entry must be signed, and every certificate of its first signer's path must have the trusted
// SHA-1 digest. Prints each entry that fails and exits with 1 when any does. With a VERSION, the
// jar is the application's release VERSION: its main class must be there, and its manifest's
// Implementation-Version must be VERSION exactly, as the launcher demands before it installs it.
//
//   java tools/VerifyJar.java JAR DIGEST_HEX [VERSION]
import java.io.InputStream;
import java.security.CodeSigner;
import java.security.MessageDigest;
import java.security.cert.Certificate;
import java.util.Enumeration;
import java.util.HexFormat;
import java.util.jar.JarEntry;
import java.util.jar.JarFile;

public class VerifyJar {
    public static void main(String[] args) throws Exception {
        if (args.length != 2 && args.length != 3) {
            System.err.println("usage: VerifyJar JAR DIGEST_HEX [VERSION]");
            System.exit(2);
        }
        byte[] trusted = HexFormat.of().parseHex(args[1].replace(":", "").toLowerCase());
        MessageDigest sha1 = MessageDigest.getInstance("SHA-1");
        int classes = 0, failed = 0;
        try (JarFile jar = new JarFile(args[0], true)) {
            if (jar.getManifest() == null) {
                System.out.println(args[0] + ": no manifest: the launcher ignores this jar");
                System.exit(1);
            }
            if (args.length == 3) {
                String stamp = jar.getManifest().getMainAttributes().getValue("Implementation-Version");
                if (!args[2].equals(stamp)) {
                    System.out.println(args[0] + ": version stamp " + (stamp == null ? "missing" : "'" + stamp + "'")
                            + ", not '" + args[2] + "': the launcher refuses it as release " + args[2]);
                    ++failed;
                }
                if (jar.getJarEntry("a/b/a/a/a.class") == null) {
                    System.out.println(args[0] + ": no main class a/b/a/a/a.class");
                    ++failed;
                }
            }
            byte[] buffer = new byte[8192];
            for (Enumeration<JarEntry> e = jar.entries(); e.hasMoreElements();) {
                JarEntry entry = e.nextElement();
                if (!entry.getName().endsWith(".class"))
                    continue;
                ++classes;
                String problem = null;
                try (InputStream in = jar.getInputStream(entry)) {
                    while (in.read(buffer) >= 0) {
                    }
                } catch (SecurityException ex) {
                    problem = "content does not match its signature (" + ex.getMessage() + ")";
                }
                if (problem == null) {
                    CodeSigner[] signers = entry.getCodeSigners();
                    if (signers == null || signers.length == 0) {
                        problem = "not signed";
                    } else {
                        int index = 0;
                        for (Certificate c : signers[0].getSignerCertPath().getCertificates()) {
                            byte[] digest = sha1.digest(c.getEncoded());
                            if (!MessageDigest.isEqual(digest, trusted)) {
                                problem = "signature invalid: certificate " + index + " of the signer's path has digest "
                                        + HexFormat.of().formatHex(digest);
                                break;
                            }
                            ++index;
                        }
                    }
                }
                if (problem != null) {
                    ++failed;
                    System.out.println(entry.getName() + ": " + problem);
                }
            }
        }
        System.out.println(args[0] + ": " + classes + " classes, " + failed + " failing");
        System.exit(failed == 0 ? 0 : 1);
    }
}
