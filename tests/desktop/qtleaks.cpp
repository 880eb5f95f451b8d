// Linked into the program the desktop tests drive. Qt's StatusNotifierItem tray icon caches a
// D-Bus meta-object it never frees, which would fail every normal exit under LeakSanitizer. The
// fast unwinder sees only the allocation inside Qt D-Bus, so that is what is matched; leaks of
// our own D-Bus code are caught by the adapters' own tests.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libQt6DBus.so\n";
}
