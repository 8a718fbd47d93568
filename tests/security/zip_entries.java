// Reads each archive named on the command line with java.util.zip, as the VM's class path and the
// loader do, and prints one line per archive: its entry names in directory order, each as hex of
// its UTF-8 bytes, separated by ','; or "refused" when the JDK will not read it.
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Enumeration;
import java.util.List;
import java.util.zip.ZipEntry;
import java.util.zip.ZipFile;

public class zip_entries {
    public static void main(String[] args) {
        for (String path : args) {
            List<String> names = new ArrayList<>();
            try (ZipFile zip = new ZipFile(path)) {
                for (Enumeration<? extends ZipEntry> e = zip.entries(); e.hasMoreElements();) {
                    StringBuilder hex = new StringBuilder();
                    for (byte b : e.nextElement().getName().getBytes(StandardCharsets.UTF_8))
                        hex.append(String.format("%02x", b & 0xFF));
                    names.add(hex.toString());
                }
                System.out.println(String.join(",", names));
            } catch (Exception | Error refused) {
                System.out.println("refused");
            }
        }
    }
}
