package com.kestrelsoft.callovo.check;

import com.kestrelsoft.callovo.CallOvo;
import java.io.FileDescriptor;
import java.io.FileOutputStream;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.concurrent.TimeUnit;

/**
 * Drives the native entry from Java threads: CallOvoCheck URL EXPECTED. Prints each
 * failure on a line and exits with 1 when there was one. The probe library named by the
 * property "callovo.check.probe" lends the entry's string conversion for a round trip.
 */
public final class CallOvoCheck {
    private static native String roundTrip(String text);

    public static void main(String[] args) throws Exception {
        PrintStream out =
                new PrintStream(new FileOutputStream(FileDescriptor.out), true, StandardCharsets.UTF_8);
        System.load(System.getProperty("callovo.check.probe"));
        String url = args[0];
        String expected = args[1];
        List<String> failures = new ArrayList<>();

        CallOvo plugin = new CallOvo();
        try {
            plugin.ExecuteUrl(null);
            failures.add("null url: no exception");
        } catch (NullPointerException e) {
            // the caller's mistake, reported where it was made
        }

        String[] texts = {"", "Příliš žluťoučký kůň úpěl ďábelské ódy", "ÁČĎÉĚÍŇÓŘŠŤÚŮÝŽ",
                "\uD834\uDD1E clef, \uD83D\uDE00 face", "<a b=\"&amp;\"/>"};
        for (String text : texts) {
            String back = roundTrip(text);
            if (!text.equals(back)) {
                failures.add("round trip of \"" + text + "\" gave \"" + back + "\"");
            }
        }
        // A lone surrogate is no character: the text is refused as a whole, not patched.
        if (!roundTrip("a\uD800b").isEmpty()) {
            failures.add("lone surrogate was not refused");
        }

        ExecutorService pool = Executors.newFixedThreadPool(4);
        List<Future<String>> calls = new ArrayList<>();
        for (int i = 0; i < 8; ++i) {
            calls.add(pool.submit(() -> plugin.ExecuteUrl(url)));
        }
        for (Future<String> call : calls) {
            String response = call.get(60, TimeUnit.SECONDS);
            if (!expected.equals(response)) {
                failures.add("parallel call answered \"" + response + "\"");
            }
        }
        pool.shutdown();

        for (String failure : failures) {
            out.println(failure);
        }
        out.flush();
        System.exit(failures.isEmpty() ? 0 : 1);
    }
}
