package probe;

public class FromInclude implements Service {
}
