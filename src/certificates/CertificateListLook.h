// How the lists of certificates look, in the selection dialog and the
// certificates window alike: rows near or past their end in colour (the
// words say it too), and columns that share the list's width so every column
// stays in sight at the window's size.
#pragma once

#include <QBrush>
#include <QList>

class QTreeWidget;
class QTreeWidgetItem;

// The colour of a certificate's days left: one within kExpiryWarningDays,
// another past the end, none (the default brush) otherwise.
QBrush daysLeftBrush(int days);

// Colours every cell of item when days is within kExpiryWarningDays or past
// the end; leaves it as it is otherwise.
void markDaysLeft(QTreeWidgetItem* item, int days);

// A column that may give up width when the list is too narrow for every
// column's contents, down to minWidth; the texts it cuts end in "…" and the
// rows carry the whole text as their tip.
struct Shrinkable {
    int column;
    int minWidth;
};

// Keeps the columns of tree fitted to its width from now on (after each
// resize, and when fitColumnsNow is called after a fill): every column gets
// the width of its contents; when they do not fit, the shrinkable columns
// give up width in the order given; spare width goes to the first column.
// The user can still drag a column's border. tree takes ownership of the
// helper it installs.
void keepColumnsFitted(QTreeWidget* tree, const QList<Shrinkable>& shrinkable);
// Fits again after the rows changed.
void fitColumnsNow(QTreeWidget* tree);
