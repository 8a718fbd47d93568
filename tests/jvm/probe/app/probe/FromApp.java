package probe;

public class FromApp implements Service {
}
