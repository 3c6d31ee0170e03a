package com.kestrelsoft.callovo;

import java.io.FileOutputStream;
import java.io.FileDescriptor;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;

/**
 * Runs tasks from the command line: {@code java -cp callovo.jar com.kestrelsoft.callovo.Main
 * URL...} calls {@link CallOvo#ExecuteUrl} once per URL, in order, and prints each response on
 * a line of its own in UTF-8 (an empty line when there is none).
 */
public final class Main {
    private Main() {}

    public static void main(String[] args) {
        if (args.length == 0) {
            System.err.println("usage: java com.kestrelsoft.callovo.Main URL...");
            System.exit(2);
        }
        // The platform's default charset need not be UTF-8; responses carry names in any script.
        PrintStream out =
                new PrintStream(new FileOutputStream(FileDescriptor.out), true, StandardCharsets.UTF_8);
        CallOvo plugin = new CallOvo();
        for (String url : args) {
            out.println(plugin.ExecuteUrl(url));
        }
        out.flush();
    }
}
