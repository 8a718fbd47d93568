package probe;

public class Versioned {
    public String toString() {
        return "versioned";
    }
}
