#pragma once
// Layout checks for pages under test: texts cut by their control, and
// controls that overlap or stick out of their parent.

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStringList>
#include <QTableWidget>
#include <QWidget>

inline QString NameOf(const QWidget& w)
{
    return w.objectName().isEmpty() ? QString(w.metaObject()->className()) : w.objectName();
}

// Texts that do not fit their control at the window's font: labels line by
// line, one-line fields, grid cells, and spin edits for the widest value of their range.
inline void FindCutTexts(QWidget& root, QStringList& faults)
{
    for (QLabel* label : root.findChildren<QLabel*>()) {
        const QStringList lines = label->text().split(QRegularExpression("\\r?\\n"));
        const QFontMetrics metrics = label->fontMetrics();
        const QRect room = label->contentsRect();
        for (const QString& line : lines)
            if (metrics.horizontalAdvance(line) > room.width())
                faults << NameOf(*label) + " \"" + line + "\"";
        if (lines.size() * metrics.lineSpacing() > room.height() + metrics.leading())
            faults << NameOf(*label) + " (" + QString::number(lines.size()) + " lines)";
    }
    for (QLineEdit* edit : root.findChildren<QLineEdit*>())
        if (!qobject_cast<QAbstractSpinBox*>(edit->parentWidget()) &&
            edit->fontMetrics().horizontalAdvance(edit->text()) > edit->width() - 8)
            faults << NameOf(*edit) + " \"" + edit->text() + "\"";
    for (QTableWidget* grid : root.findChildren<QTableWidget*>())
        for (int row = 0; row < grid->rowCount(); ++row)
            for (int column = 0; column < grid->columnCount(); ++column)
                if (const QTableWidgetItem* item = grid->item(row, column);
                    item && grid->fontMetrics().horizontalAdvance(item->text()) + 6 > grid->columnWidth(column))
                    faults << NameOf(*grid) + " \"" + item->text() + "\"";
    for (QSpinBox* spin : root.findChildren<QSpinBox*>())
        if (spin->sizeHint().width() > spin->width())
            faults << NameOf(*spin);
}

// Controls that overlap a sibling or stick out of their parent. Only plain
// containers are entered; composite controls place their own parts.
inline void FindOverlaps(QWidget& parent, QStringList& faults)
{
    QList<QWidget*> children;
    for (QWidget* child : parent.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!child->isHidden())
            children << child;
    for (qsizetype i = 0; i < children.size(); ++i) {
        const QRect rect = children[i]->geometry();
        if (!parent.rect().contains(rect))
            faults << NameOf(*children[i]) + " outside " + NameOf(parent) + QString(" %1x%2").arg(parent.width()).arg(parent.height());
        for (qsizetype j = i + 1; j < children.size(); ++j)
            if (rect.intersects(children[j]->geometry()))
                faults << NameOf(*children[i]) + " over " + NameOf(*children[j]);
        const char* kind = children[i]->metaObject()->className();
        if (qstrcmp(kind, "QWidget") == 0 || qstrcmp(kind, "QFrame") == 0 || qstrcmp(kind, "QGroupBox") == 0)
            FindOverlaps(*children[i], faults);
    }
}

// Buttons and check boxes whose caption does not fit.
inline void FindCutButtons(QWidget& root, QStringList& faults)
{
    for (QAbstractButton* button : root.findChildren<QAbstractButton*>())
        if (button->sizeHint().width() > button->width())
            faults << NameOf(*button) + " \"" + button->text() + "\"";
}

// Every layout fault of a page: cut texts and captions, overlapping controls.
inline QStringList LayoutFaults(QWidget& page)
{
    QStringList faults;
    FindCutTexts(page, faults);
    FindCutButtons(page, faults);
    FindOverlaps(page, faults);
    return faults;
}
