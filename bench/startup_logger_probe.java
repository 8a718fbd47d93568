// What the first certificate parsed outside the JDK's own class-path verification costs a fresh
// VM: the lookup of the "jdk.event.security" System.Logger that the JDK makes then (and skips
// while its class-path loader verifies a jar). Prints the lookup's time in milliseconds.
//
//   javac --add-exports java.base/jdk.internal.event=ALL-UNNAMED -d DIR startup_logger_probe.java
//   java --add-exports java.base/jdk.internal.event=ALL-UNNAMED -Xms768m -cp DIR startup_logger_probe
public class startup_logger_probe {
    public static void main(String[] args) throws Exception {
        // The helper class itself is loaded on both roads; only the lookup differs.
        Class.forName("jdk.internal.event.EventHelper");
        long start = System.nanoTime();
        jdk.internal.event.EventHelper.isLoggingSecurity();
        long end = System.nanoTime();
        System.out.printf("security logger lookup: %.1f ms%n", (end - start) / 1e6);
    }
}
