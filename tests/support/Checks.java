// The checks of a Java test harness: each named check runs, prints "ok - name" or "FAIL - name"
// with its stack trace, and exit() prints "N passed, N failed" and ends with 1 when one failed.
public final class Checks {
    private Checks() {}

    public interface Check {
        void run() throws Exception;
    }

    private static int passed, failed;

    public static void run(String name, Check check) {
        try {
            check.run();
            passed++;
            System.out.println("ok - " + name);
        } catch (Throwable t) {
            failed++;
            System.out.println("FAIL - " + name);
            t.printStackTrace(System.out);
        }
    }

    public static void exit() {
        System.out.println(passed + " passed, " + failed + " failed");
        System.exit(failed == 0 ? 0 : 1);
    }

    public static void expect(boolean condition, String what) {
        if (!condition)
            throw new AssertionError(what);
    }

    public static void expectEquals(Object expected, Object actual, String what) {
        if (expected == null ? actual != null : !expected.equals(actual))
            throw new AssertionError(what + ": expected <" + expected + "> but was <" + actual + ">");
    }
}
