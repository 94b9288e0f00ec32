#include "TComComboBox.h"

#include <QAbstractItemView>
#include <QRegularExpression>
#include <QStyledItemDelegate>
#include <QTextDocument>

namespace kelotari {

namespace {

constexpr int kDescriptionRole = Qt::UserRole + 1;

// The open list shows "name   description"; the closed box shows the name.
class PortItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const QString description = index.data(kDescriptionRole).toString();
        if (!description.isEmpty())
            option->text += QStringLiteral("   ") + description;
    }
};

} // namespace

TComComboBox::TComComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    setItemDelegate(new PortItemDelegate(this));
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
}

void TComComboBox::setPorts(const QList<SerialPortEntry>& ports, const QString& fallback) {
    const QString kept = text();
    clear();
    int widest = 0;
    const QFontMetrics fm(font());
    for (const SerialPortEntry& p : ports) {
        addItem(p.name);
        const int i = count() - 1;
        setItemData(i, p.description, kDescriptionRole);
        // A tooltip would read a maker's string as rich text; it is shown as typed.
        setItemData(i, Qt::convertFromPlainText(p.description, Qt::WhiteSpaceNoWrap),
                    Qt::ToolTipRole);
        widest =
            std::max(widest, fm.horizontalAdvance(p.name + QStringLiteral("   ") + p.description));
    }
    // The open list is as wide as its longest line, however narrow the box.
    view()->setMinimumWidth(widest + 40);
    setCurrentIndex(-1);
    int at = kept.isEmpty() ? -1 : findPort(kept);
    if (at < 0)
        at = findPort(fallback);
    setCurrentIndex(at);
}

int TComComboBox::findPort(const QString& name) const {
    if (name.isEmpty())
        return -1;
    // Device paths differ by letter case (two registered meters "Meter" and "meter"): the
    // exact name first, and letter case ignored only between Windows-style COMn names.
    for (int i = 0; i < count(); ++i)
        if (itemText(i) == name)
            return i;
    static const QRegularExpression com(QStringLiteral("^COM[1-9][0-9]*$"),
                                        QRegularExpression::CaseInsensitiveOption);
    if (!com.match(name).hasMatch())
        return -1;
    for (int i = 0; i < count(); ++i)
        if (com.match(itemText(i)).hasMatch() &&
            itemText(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString TComComboBox::text() const {
    return currentIndex() < 0 ? QString() : itemText(currentIndex());
}

void TComComboBox::setText(const QString& name) {
    const int at = findPort(name);
    if (at >= 0)
        setCurrentIndex(at);
}

QStringList TComComboBox::names() const {
    QStringList out;
    for (int i = 0; i < count(); ++i)
        out << itemText(i);
    return out;
}

} // namespace kelotari
