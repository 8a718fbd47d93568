package inc;

/** Lives only in the include jar, so that a start reads both jars. */
public class Include {
    public static String name() {
        return "include";
    }
}
