#pragma once

// A call from a worker thread into a widget's thread. Qt hands the call's functor across under
// its own locks, which ThreadSanitizer cannot see (Qt is not built with it): it would take the
// functor's construction on one thread and its run on the other for a race. The construction is
// therefore kept out of its view; the functor's body, on the receiving thread, stays watched.

#include <QMetaObject>
#include <QObject>

#include <utility>

#if defined(__SANITIZE_THREAD__)
#define PELMORA_TSAN_ACTIVE 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define PELMORA_TSAN_ACTIVE 1
#endif
#endif

#ifdef PELMORA_TSAN_ACTIVE
extern "C" void AnnotateIgnoreWritesBegin(const char* file, int line);
extern "C" void AnnotateIgnoreWritesEnd(const char* file, int line);
#endif

namespace widgets {

/// Runs `f` on `receiver`'s thread; `type` is queued or blocking queued, never direct (the caller
/// is another thread, and a direct call would run `f` out of the sanitizer's view).
template <typename F> void InvokeFromWorker(QObject* receiver, F&& f, Qt::ConnectionType type)
{
    Q_ASSERT(type == Qt::QueuedConnection || type == Qt::BlockingQueuedConnection);
#ifdef PELMORA_TSAN_ACTIVE
    AnnotateIgnoreWritesBegin(__FILE__, __LINE__);
#endif
    QMetaObject::invokeMethod(receiver, std::forward<F>(f), type);
#ifdef PELMORA_TSAN_ACTIVE
    AnnotateIgnoreWritesEnd(__FILE__, __LINE__);
#endif
}

} // namespace widgets
