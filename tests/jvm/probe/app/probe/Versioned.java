package probe;

/** The base entry of a multi-release jar; a runtime of version 9 or later reads the other one. */
public class Versioned {
    public String toString() {
        return "base";
    }
}
