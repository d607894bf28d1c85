#include "app/DesktopKeys.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "helpers/FullScreen.h"

namespace qv::app {

namespace {

bool isTextField(const QObject* o) {
    if (auto* line = qobject_cast<const QLineEdit*>(o)) return !line->isReadOnly();
    if (auto* text = qobject_cast<const QTextEdit*>(o)) return !text->isReadOnly();
    if (auto* plain = qobject_cast<const QPlainTextEdit*>(o)) return !plain->isReadOnly();
    if (qobject_cast<const QAbstractSpinBox*>(o)) return true;
    if (auto* combo = qobject_cast<const QComboBox*>(o)) return combo->isEditable();
    return false;
}

// The web view whose page has the keyboard, when `o` is (inside) one.
QWebEngineView* webViewOf(QObject* o) {
    for (; o; o = o->parent())
        if (auto* view = qobject_cast<QWebEngineView*>(o)) return view;
    return nullptr;
}

constexpr const char* kEditingScript =
    "(function () { const e = document.activeElement;"
    " return !!e && (e.isContentEditable || e.tagName === 'TEXTAREA' || e.tagName === 'SELECT' ||"
    " (e.tagName === 'INPUT' && !['button', 'checkbox', 'radio', 'submit', 'reset', 'range', 'color', 'file',"
    " 'image'].includes((e.type || '').toLowerCase()))); })()";

}  // namespace

DesktopKeys::DesktopKeys(QWidget* window) : window_(window) { qApp->installEventFilter(this); }

DesktopKeys::~DesktopKeys() {
    if (qApp) qApp->removeEventFilter(this);
}

bool DesktopKeys::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || passing_ || !window_) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const auto mods = key->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier);
    if (key->key() == Qt::Key_Q && mods == Qt::ControlModifier) {
        // The same way out as closing the window: frame and settings saved, recordings finished.
        if (!key->isAutoRepeat()) window_->close();
        return true;
    }
    if (key->key() == Qt::Key_F11 && mods == Qt::NoModifier) {
        if (!key->isAutoRepeat()) toggleFullScreen(window_);
        return true;
    }
    // Esc only where the main window has the keyboard: a popover or a dialog keeps it.
    if (key->key() == Qt::Key_Escape && mods == Qt::NoModifier && widget->window() == window_)
        return escape(watched, key);
    return false;
}

bool DesktopKeys::escape(QObject* target, QKeyEvent* key) {
    if (!(window_->windowState() & Qt::WindowFullScreen)) return false;
    // The key goes up from the widget with the focus to its parents: judge by that widget, not
    // by the parent a text field passed it on to.
    QObject* focus = window_->focusWidget();
    if (isTextField(target) || isTextField(focus)) return false;
    QWebEngineView* view = webViewOf(target);
    if (!view) view = webViewOf(focus);
    if (!view) return leaveFullScreen(window_);
    // Only the page knows whether one of its text fields is being edited: ask it, then either
    // leave full screen or hand the key back to the page.
    QPointer<QObject> receiver(target);
    QPointer<DesktopKeys> self(this);
    struct Key {
        int key;
        Qt::KeyboardModifiers modifiers;
        quint32 scanCode, virtualKey, nativeModifiers;
        QString text;
    } k{key->key(), key->modifiers(), key->nativeScanCode(), key->nativeVirtualKey(), key->nativeModifiers(), key->text()};
    view->page()->runJavaScript(QString::fromLatin1(kEditingScript), [self, receiver, k](const QVariant& editing) {
        if (!self || !self->window_) return;
        if (!editing.toBool()) {
            leaveFullScreen(self->window_);
            return;
        }
        if (!receiver) return;
        self->passing_ = true;
        for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
            QKeyEvent again(type, k.key, k.modifiers, k.scanCode, k.virtualKey, k.nativeModifiers, k.text);
            QCoreApplication::sendEvent(receiver, &again);
        }
        self->passing_ = false;
    });
    return true;
}

}  // namespace qv::app
