#include "TComComboBox.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QPainter>
#include <QRegularExpression>
#include <QStylePainter>
#include <QStyledItemDelegate>
#include <QTextDocument>

namespace kelotari {

namespace {

constexpr int kDescriptionRole = Qt::UserRole + 1;
constexpr int kShownRole = Qt::UserRole + 2;

constexpr int kColumnRole = Qt::UserRole + 3;
constexpr int kPlainTipRole = Qt::UserRole + 4; // the tooltip's text as typed

// A tooltip would read a maker's string as rich text: it is shown as typed.
QString plainTip(const QString& text) {
    return text.isEmpty() ? QString() : Qt::convertFromPlainText(text, Qt::WhiteSpaceNoWrap);
}

// The open list shows the shown name and, in a column of their own, the descriptions; the
// closed box shows the shown name.
class PortItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        const QWidget* widget = opt.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
        const QString description = index.data(kDescriptionRole).toString();
        if (description.isEmpty())
            return;
        const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
        const QRect column = text.adjusted(index.data(kColumnRole).toInt(), 0, 0, 0);
        painter->save();
        painter->setFont(opt.font);
        painter->setPen(opt.palette.color(
            opt.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(column, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          opt.fontMetrics.elidedText(description, Qt::ElideRight, column.width()));
        painter->restore();
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->text = index.data(kShownRole).toString();
    }
};

} // namespace

TComComboBox::TComComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    setItemDelegate(new PortItemDelegate(this));
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    // The closed box is narrow: its tooltip gives the whole of what is selected.
    connect(this, &QComboBox::currentIndexChanged, this, [this](int i) {
        setToolTip(i < 0 ? QString()
                         : plainTip((shownText(i) + QLatin1Char('\n') + toolTipText(i)).trimmed()));
    });
}

void TComComboBox::setPorts(const QList<SerialPortEntry>& ports, const QString& fallback) {
    const QString kept = text();
    clear();
    int widestShown = 0;
    int widestDescription = 0;
    const QFontMetrics fm(font());
    for (const SerialPortEntry& p : ports) {
        addItem(p.name);
        const int i = count() - 1;
        const QString shown = shownPortName(p);
        setItemData(i, p.description, kDescriptionRole);
        setItemData(i, shown, kShownRole);
        const QString tip = shown == p.name
                                ? p.description
                                : (p.name + QLatin1Char('\n') + p.description).trimmed();
        setItemData(i, tip, kPlainTipRole);
        setItemData(i, plainTip(tip), Qt::ToolTipRole);
        widestShown = std::max(widestShown, fm.horizontalAdvance(shown));
        widestDescription = std::max(widestDescription, fm.horizontalAdvance(p.description));
    }
    const int column = widestShown + fm.horizontalAdvance(QStringLiteral("   "));
    for (int i = 0; i < count(); ++i)
        setItemData(i, column, kColumnRole);
    // The open list is as wide as its longest line, however narrow the box.
    view()->setMinimumWidth(column + widestDescription + 40);
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

QString TComComboBox::toolTipText(int i) const {
    return itemData(i, kPlainTipRole).toString();
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
