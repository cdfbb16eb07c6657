// Checks a window as keyboard and screen-reader users meet it:
//  - unnamedControls: walks the window's accessibility tree (what a screen
//    reader sees) and lists every button, input, list, table or tree that has
//    no accessible name (set one, or give the input a label buddy);
//  - unreachableControls: lists every such control that Tab cannot reach;
//  - tabOrder: the object names of the controls Tab visits, in order.
// Hidden controls are checked too: they are named before they are shown.
//
//   EXPECT_THAT(AccessibilityCheck::unnamedControls(&window), ::testing::IsEmpty());
#pragma once

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QAccessibleInterface>
#include <QComboBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStringList>
#include <QTabBar>
#include <QTextEdit>
#include <QWidget>

namespace AccessibilityCheck {

namespace detail {

inline bool isInputRole(QAccessible::Role role) {
    switch (role) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::SpinBox:
    case QAccessible::Slider:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
    case QAccessible::List:
    case QAccessible::Table:
    case QAccessible::Tree:
        return true;
    default:
        return false;
    }
}

// Composite controls: item views describe each cell, a combo or spin box its
// editor; the composite's own name is what a screen reader announces.
inline bool isCompositeRole(QAccessible::Role role) {
    return role == QAccessible::List || role == QAccessible::Table || role == QAccessible::Tree ||
           role == QAccessible::ComboBox || role == QAccessible::SpinBox;
}

inline QString describe(QAccessibleInterface* iface) {
    QObject* o = iface->object();
    const QString cls = o ? QString::fromLatin1(o->metaObject()->className()) : QStringLiteral("?");
    const QString name =
        o && !o->objectName().isEmpty() ? o->objectName() : QStringLiteral("(sem objectName)");
    return cls + QLatin1Char(' ') + name;
}

inline void walk(QAccessibleInterface* iface, QStringList& out, int depth) {
    if (!iface || depth > 64)
        return;
    const QAccessible::Role role = iface->role();
    if (isInputRole(role) && iface->text(QAccessible::Name).trimmed().isEmpty())
        out << describe(iface);
    if (isCompositeRole(role))
        return;
    for (int i = 0; i < iface->childCount(); ++i)
        walk(iface->child(i), out, depth + 1);
}

// Widgets a keyboard user must be able to reach.
inline bool isInteractive(const QWidget* w) {
    return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLineEdit*>(w) ||
           qobject_cast<const QComboBox*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
           qobject_cast<const QAbstractSlider*>(w) || qobject_cast<const QAbstractItemView*>(w) ||
           qobject_cast<const QPlainTextEdit*>(w) || qobject_cast<const QTextEdit*>(w);
}

// Parts that belong to a composite control (scroll bars, a table's corner
// button, a spin box's editor, a tab bar's arrows, a menu bar's overflow
// button) are reached through their owner.
inline bool isPartOfComposite(const QWidget* w, const QWidget* window) {
    if (qobject_cast<const QScrollBar*>(w))
        return true;
    for (const QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget())
        if (qobject_cast<const QAbstractItemView*>(p) || qobject_cast<const QComboBox*>(p) ||
            qobject_cast<const QAbstractSpinBox*>(p) || qobject_cast<const QTabBar*>(p) ||
            qobject_cast<const QMenuBar*>(p))
            return true;
    return false;
}

} // namespace detail

// Buttons, inputs, lists, tables and trees of the window without an
// accessible name, as "Class objectName".
inline QStringList unnamedControls(QWidget* window) {
    QStringList out;
    detail::walk(QAccessible::queryAccessibleInterface(window), out, 0);
    return out;
}

// Interactive controls of the window that Tab never reaches (focus policy
// without Qt::TabFocus), as "Class objectName".
inline QStringList unreachableControls(QWidget* window) {
    QStringList out;
    const auto widgets = window->findChildren<QWidget*>();
    for (QWidget* w : widgets) {
        if (w->window() != window || !detail::isInteractive(w) ||
            detail::isPartOfComposite(w, window))
            continue;
        if (!(w->focusPolicy() & Qt::TabFocus))
            out << detail::describe(QAccessible::queryAccessibleInterface(w));
    }
    return out;
}

// Object names of the controls Tab visits from the window's first one, in
// order (visible, enabled widgets only, as Tab moves through them).
inline QStringList tabOrder(QWidget* window) {
    QStringList out;
    QWidget* w = window;
    for (int guard = 0; guard < 10000; ++guard) {
        w = w->nextInFocusChain();
        if (w == window)
            break;
        if (w->window() == window && (w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(window) &&
            w->isEnabled() && !detail::isPartOfComposite(w, window))
            out << w->objectName();
    }
    return out;
}

} // namespace AccessibilityCheck
