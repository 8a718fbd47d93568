package probe;

/** A service whose providers lie in both jars of the main loader. */
public interface Service {
}
