#pragma once
// The serial port selector: a drop-down list of port names that cannot be typed into. An item
// may show a description beside its name in the open list; the text read, selected and
// stored is the name alone. A name that is a long path shows as something shorter: an
// adapter as its maker, model and serial number, a registered port as its registration
// name, with the path in the item's tooltip.
#include "PortList.h"

#include <QComboBox>

namespace kelotari {

class TComComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TComComboBox(QWidget* parent = nullptr);

    // Replaces the items (kept in the order given) and selects the one equal to portName,
    // letter case ignored; nothing is selected when there is none.
    void setPorts(const QList<SerialPortEntry>& ports, const QString& portName);

    // The selected item's name, or empty when nothing is selected.
    QString text() const;
    // Selects the item equal to name, letter case ignored; otherwise leaves the selection.
    void setText(const QString& name);

    QStringList names() const;
    // What item i shows in place of its name (the name itself for a plain port).
    QString shownText(int i) const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace kelotari
