#include "TComComboBox.h"

#include <QAbstractItemView>
#include <QStylePainter>
#include <QStyledItemDelegate>

namespace kelotari {

namespace {

constexpr int kDescriptionRole = Qt::UserRole + 1;
constexpr int kShownRole = Qt::UserRole + 2;

// The open list shows "shown name   description"; the closed box shows the shown name.
class PortItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->text = index.data(kShownRole).toString();
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
        const QString shown = shownPortName(p);
        setItemData(i, p.description, kDescriptionRole);
        setItemData(i, shown, kShownRole);
        setItemData(i,
                    shown == p.name ? p.description
                                    : (p.name + QLatin1Char('\n') + p.description).trimmed(),
                    Qt::ToolTipRole);
        widest =
            std::max(widest, fm.horizontalAdvance(shown + QStringLiteral("   ") + p.description));
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

QString TComComboBox::shownText(int i) const {
    return itemData(i, kShownRole).toString();
}

// QComboBox's own painting, with the shown name in place of the item's text.
void TComComboBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox opt;
    initStyleOption(&opt);
    if (currentIndex() >= 0) {
        const int room =
            style()
                ->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, this)
                .width();
        opt.currentText = fontMetrics().elidedText(shownText(currentIndex()), Qt::ElideRight, room);
    }
    painter.drawComplexControl(QStyle::CC_ComboBox, opt);
    painter.drawControl(QStyle::CE_ComboBoxLabel, opt);
}

} // namespace kelotari
