package com.kestrelsoft.callovo;

/**
 * The plug-in's entry for Java programs: runs one task of a web form and answers with its
 * response document.
 *
 * <p>The native part is {@code libcallovo.so}. It is found through {@code java.library.path}
 * ({@code System.loadLibrary("callovo")}), unless the system property
 * {@code com.kestrelsoft.callovo.library} names the library file itself, for example
 * {@code -Dcom.kestrelsoft.callovo.library=/opt/quillbox/lib/libcallovo.so}.
 *
 * <p>Each call runs on the calling thread with a processor of its own, so calls share no
 * state. Dialogs appear as the plug-in's own windows when a display is available; calls from
 * several threads then wait for each other's dialogs. Setting the environment variable
 * {@code QUILLBOX_UI_SCRIPT} to an answers file lets a script answer the dialogs instead (with
 * a transcript in {@code QUILLBOX_UI_TRANSCRIPT}).
 */
public class CallOvo {
    /** System property naming the native library file; overrides java.library.path. */
    public static final String LIBRARY_PROPERTY = "com.kestrelsoft.callovo.library";

    static {
        String path = System.getProperty(LIBRARY_PROPERTY);
        if (path != null && !path.isEmpty()) {
            System.load(path);
        } else {
            System.loadLibrary("callovo");
        }
        // The plug-in's dialogs run on a thread of the native library, which must stand still
        // before the process is taken down.
        Runtime.getRuntime().addShutdownHook(new Thread(CallOvo::closeDialogs, "callovo-shutdown"));
    }

    private static native void closeDialogs();

    /**
     * Downloads the task document at {@code url}, runs its task (showing the dialogs it needs)
     * and returns the response document. Returns the empty string when there is no response: the
     * download failed, the document was not well-formed, the task failed, or it was a
     * "checkapp" task. Blocks until the task is done.
     *
     * @throws NullPointerException when {@code url} is null
     */
    public native String ExecuteUrl(String url);
}
