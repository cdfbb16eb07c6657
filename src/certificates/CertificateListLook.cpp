// Row marking and column fitting for the certificate lists.
#include "certificates/CertificateListLook.h"

#include "certificates/CertificateExpiry.h"

#include <QBrush>
#include <QColor>
#include <QEvent>
#include <QHeaderView>
#include <QTreeWidget>

#include <algorithm>

namespace {

class ColumnFitter : public QObject {
public:
    ColumnFitter(QTreeWidget* tree, QList<Shrinkable> shrinkable)
        : QObject(tree), m_tree(tree), m_viewport(tree->viewport()),
          m_shrinkable(std::move(shrinkable)) {
        tree->header()->setSectionResizeMode(QHeaderView::Interactive);
        tree->header()->setStretchLastSection(false);
        // The viewport, not the tree: its width is the one to fill, and it
        // changes also when the vertical scroll bar comes or goes.
        m_viewport->installEventFilter(this);
    }

    void fit() {
        const int columns = m_tree->columnCount();
        const int available = m_tree->viewport()->width();
        if (columns == 0 || available <= 0)
            return;
        QList<int> widths(columns);
        int total = 0;
        for (int c = 0; c < columns; ++c) {
            // Public as an item view's; the tree's own override answers.
            const QAbstractItemView* view = m_tree;
            widths[c] = std::max(view->sizeHintForColumn(c), m_tree->header()->sectionSizeHint(c));
            total += widths[c];
        }
        int excess = total - available;
        for (const Shrinkable& s : m_shrinkable) {
            if (excess <= 0)
                break;
            const int cut = std::clamp(widths[s.column] - s.minWidth, 0, excess);
            widths[s.column] -= cut;
            excess -= cut;
        }
        if (excess < 0)
            widths[0] -= excess; // the spare width
        for (int c = 0; c < columns; ++c)
            m_tree->header()->resizeSection(c, widths[c]);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // Compared by address only: while the tree is destroyed its viewport
        // still sends events, and the tree must not be asked anything then.
        if (watched == m_viewport && event->type() == QEvent::Resize)
            fit();
        return QObject::eventFilter(watched, event);
    }

private:
    QTreeWidget* m_tree;
    QObject* m_viewport;
    QList<Shrinkable> m_shrinkable;
};

} // namespace

QBrush daysLeftBrush(int days) {
    if (days > kExpiryWarningDays)
        return {};
    return QBrush(days < 0 ? QColor(0xB0, 0x00, 0x20) : QColor(0x9A, 0x5B, 0x00));
}

void markDaysLeft(QTreeWidgetItem* item, int days) {
    if (days > kExpiryWarningDays)
        return;
    const QBrush brush = daysLeftBrush(days);
    for (int column = 0; column < item->columnCount(); ++column)
        item->setForeground(column, brush);
}

void keepColumnsFitted(QTreeWidget* tree, const QList<Shrinkable>& shrinkable) {
    (new ColumnFitter(tree, shrinkable))->fit();
}

void fitColumnsNow(QTreeWidget* tree) {
    for (QObject* child : tree->children())
        if (auto* fitter = dynamic_cast<ColumnFitter*>(child))
            fitter->fit();
}
