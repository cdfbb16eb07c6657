// The program's windows as single instances reached by class name.
//
// A window class registers a factory under its name once (see
// registerAllWindows in AllWindows.h); window() loads it on first use and then
// always returns the same instance, hiding it keeps its state, unload()
// destroys it and the next window() loads a fresh one. A window that destroys
// itself (Qt::WA_DeleteOnClose, the way a window unloads when its close box
// is used) simply drops out of the registry. The registry owns every window it
// loaded and destroys those still alive when it is destroyed.
#pragma once

#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

struct AppContext;

class WindowRegistry {
public:
    using Factory = std::function<QWidget*(AppContext&)>;

    explicit WindowRegistry(AppContext& context) : m_context(context) {}
    ~WindowRegistry();

    WindowRegistry(const WindowRegistry&) = delete;
    WindowRegistry& operator=(const WindowRegistry&) = delete;

    // Registers (or replaces) the factory of a window class. The factory
    // returns a new top-level window; the registry takes ownership.
    void registerWindow(const QString& name, Factory factory);

    // Registers W, constructed as W(AppContext&), under its class name.
    template <class W> void registerWindow() {
        registerWindow(QString::fromLatin1(W::staticMetaObject.className()),
                       [](AppContext& c) -> QWidget* { return new W(c); });
    }

    bool isRegistered(const QString& name) const { return m_factories.contains(name); }
    // Called once, the first time a window not registered is asked for,
    // before it is looked up again: the program registers the windows of its
    // late-loaded part there when one is asked for before it is in.
    void whenMissing(std::function<void()> registerMore) {
        m_whenMissing = std::move(registerMore);
    }

    // The loaded instance, loading it first when needed (not shown).
    // Returns nullptr when no window class of that name is registered.
    QWidget* window(const QString& name);
    template <class W> W* window() {
        return qobject_cast<W*>(window(QString::fromLatin1(W::staticMetaObject.className())));
    }

    // The instance when loaded, else nullptr; never loads.
    QWidget* loaded(const QString& name) const;

    // Loads when needed, shows non-modally, raises and activates it.
    // Returns nullptr (and shows nothing) when the name is not registered.
    QWidget* show(const QString& name);

    // Hides the window, keeping its state; nothing when not loaded.
    void hide(const QString& name);

    // Hides the window and destroys it once control returns to the event loop
    // (a window may unload itself from its own handler; the deletion also
    // waits until none of its handlers is on the stack, see WindowActivity.h).
    // The next window() loads a new instance.
    void unload(const QString& name);

    // Unloads every loaded window.
    void unloadAll();

private:
    AppContext& m_context;
    QHash<QString, Factory> m_factories;
    std::function<void()> m_whenMissing;
    QHash<QString, QPointer<QWidget>> m_loaded;
    QList<QPointer<QWidget>> m_unloading; // waiting for the event loop to destroy them
};
