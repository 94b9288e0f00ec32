#include "TComComboBox.h"

#include <QAbstractItemView>
#include <QStyledItemDelegate>

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

void TComComboBox::setPorts(const QList<SerialPortEntry>& ports, const QString& portName) {
    clear();
    int widest = 0;
    const QFontMetrics fm(font());
    for (const SerialPortEntry& p : ports) {
        addItem(p.name);
        const int i = count() - 1;
        setItemData(i, p.description, kDescriptionRole);
        setItemData(i, p.description, Qt::ToolTipRole);
        widest =
            std::max(widest, fm.horizontalAdvance(p.name + QStringLiteral("   ") + p.description));
    }
    // The open list is as wide as its longest line, however narrow the box.
    view()->setMinimumWidth(widest + 40);
    setCurrentIndex(-1);
    setText(portName);
}

QString TComComboBox::text() const {
    return currentIndex() < 0 ? QString() : itemText(currentIndex());
}

void TComComboBox::setText(const QString& name) {
    for (int i = 0; i < count(); ++i) {
        if (itemText(i).compare(name, Qt::CaseInsensitive) == 0) {
            setCurrentIndex(i);
            return;
        }
    }
}

QStringList TComComboBox::names() const {
    QStringList out;
    for (int i = 0; i < count(); ++i)
        out << itemText(i);
    return out;
}

} // namespace kelotari
