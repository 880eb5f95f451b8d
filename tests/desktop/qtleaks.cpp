// Linked into the program the desktop tests drive. Qt's StatusNotifierItem tray icon asks the
// watcher through a QDBusInterface whose D-Bus meta-object Qt caches in its own connection and
// never frees; under LeakSanitizer that cache would fail every normal exit on such a panel. The
// fast unwinder sees only the allocation inside Qt D-Bus, so that is what is matched; leaks of
// our own D-Bus code are caught by the adapters' own tests.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libQt6DBus.so\n";
}
