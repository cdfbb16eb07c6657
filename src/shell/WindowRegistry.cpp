// Single-instance windows by class name.
#include "shell/WindowRegistry.h"

#include <utility>

WindowRegistry::~WindowRegistry() {
    // Destroyed at once here: the event loop that would run deleteLater is gone.
    QList<QPointer<QWidget>> windows = m_loaded.values();
    windows += m_unloading;
    m_loaded.clear();
    m_unloading.clear();
    for (const QPointer<QWidget>& w : windows)
        delete w.data();
}

void WindowRegistry::registerWindow(const QString& name, Factory factory) {
    m_factories.insert(name, std::move(factory));
}

QWidget* WindowRegistry::window(const QString& name) {
    if (QWidget* w = loaded(name))
        return w;
    if (!m_factories.contains(name) && m_whenMissing)
        std::exchange(m_whenMissing, {})();
    const auto it = m_factories.constFind(name);
    if (it == m_factories.constEnd())
        return nullptr;
    QWidget* w = (*it)(m_context);
    m_loaded.insert(name, w);
    return w;
}

QWidget* WindowRegistry::loaded(const QString& name) const {
    const auto it = m_loaded.constFind(name);
    return it == m_loaded.constEnd() ? nullptr : it->data();
}

QWidget* WindowRegistry::show(const QString& name) {
    QWidget* w = window(name);
    if (!w)
        return nullptr;
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}

void WindowRegistry::hide(const QString& name) {
    if (QWidget* w = loaded(name))
        w->hide();
}

void WindowRegistry::unload(const QString& name) {
    QPointer<QWidget> w = m_loaded.take(name);
    if (!w)
        return;
    w->hide();
    w->deleteLater();
    m_unloading.removeIf([](const QPointer<QWidget>& p) { return p.isNull(); });
    m_unloading.append(w);
}

void WindowRegistry::unloadAll() {
    const auto names = m_loaded.keys();
    for (const QString& name : names)
        unload(name);
}
