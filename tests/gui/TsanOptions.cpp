// ThreadSanitizer options for the window tests. Qt is not built with
// ThreadSanitizer: the synchronisation inside its own code (the thread pool
// that parallel raster painting uses, QThread::wait) is invisible to it, so
// memory functions called from Qt's libraries would be reported as races on
// Qt's own data. Accesses made by our code are still checked.

extern "C" const char* __tsan_default_options();

extern "C" const char* __tsan_default_options() {
    return "ignore_noninstrumented_modules=1";
}
