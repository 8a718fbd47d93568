package demo;

import java.awt.GraphicsEnvironment;
import java.util.ArrayList;
import java.util.List;
import javax.swing.JFrame;
import javax.swing.JLabel;
import javax.swing.SwingUtilities;
import javax.swing.Timer;

// What the demo application shows: its version and what the launcher's natives returned. In a
// window for a few seconds where there is a display, on standard output where there is none.
public class Report {
    private final String version;
    private final List<String[]> rows = new ArrayList<>();

    public Report(String version) {
        this.version = version;
    }

    public void add(String name, String value) {
        rows.add(new String[] {name, value});
    }

    public void show() throws Exception {
        StringBuilder text = new StringBuilder("Quarlen Vistal demo application " + version + "\n");
        for (String[] row : rows)
            text.append("  ").append(row[0]).append(": ").append(row[1]).append('\n');
        System.out.print(text);
        System.out.flush();
        if (GraphicsEnvironment.isHeadless() || System.getenv("DISPLAY") == null)
            return;
        final Object done = new Object();
        SwingUtilities.invokeAndWait(() -> {
            JFrame frame = new JFrame("Quarlen Vistal demo " + version);
            frame.add(new JLabel("<html>" + text.toString().replace("\n", "<br>") + "</html>"));
            frame.pack();
            frame.setLocationRelativeTo(null);
            frame.setDefaultCloseOperation(JFrame.DISPOSE_ON_CLOSE);
            frame.setVisible(true);
            Timer close = new Timer(6000, e -> frame.dispose());
            close.setRepeats(false);
            close.start();
            frame.addWindowListener(new java.awt.event.WindowAdapter() {
                @Override
                public void windowClosed(java.awt.event.WindowEvent e) {
                    synchronized (done) {
                        done.notifyAll();
                    }
                }
            });
        });
        synchronized (done) {
            done.wait(10000);
        }
    }
}
