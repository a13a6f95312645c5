#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>

// What a programming worker may do with the user interface. A worker never touches a widget:
// it hands work to the user-interface thread, where a page that may be gone by then is
// reached through a QPointer taken when the worker started.

// Runs work on the user-interface thread, later (queued), from any thread. The call is kept
// even when every page is gone: work must check its own guards.
void PostToUiThread(std::function<void()> work);

// Shows the end-of-run notice: text with the caption " " (one blank) and an OK button, owned
// by the widget that owner returns, through the message-box service. From a worker the box is
// shown on the user-interface thread and the worker waits until it is closed, or until it is
// told to stop (platform::RunOnUiThreadAndWait); owner is called there, so a page deleted
// meanwhile leaves a box without owner instead of a dangling one.
void ShowCompletionNotice(const QString& text, std::function<QWidget*()> owner);

// The same, owned by the window of the page that page guards (the main sheet, which outlives
// a page it removes while the box is open); without owner once the page is gone.
template <typename Page> void ShowCompletionNotice(const QString& text, QPointer<Page> page)
{
    ShowCompletionNotice(text, [page]() -> QWidget* { return page ? page->window() : nullptr; });
}

// The caption of the completion notice.
inline constexpr QLatin1String kNoticeCaption{" "};
