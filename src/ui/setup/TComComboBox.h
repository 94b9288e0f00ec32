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

    // Replaces the items (kept in the order given). The port selected before stays selected
    // when it is still listed; otherwise fallback is selected (see setText), or nothing.
    void setPorts(const QList<SerialPortEntry>& ports, const QString& fallback);

    // The selected item's name, or empty when nothing is selected.
    QString text() const;
    // Selects the item equal to name; otherwise leaves the selection. Letter case counts
    // (device paths differ by it), except between Windows-style names: com3 selects COM3.
    void setText(const QString& name);
    // The item setText(name) would select, or -1.
    int findPort(const QString& name) const;

    QStringList names() const;
    // What item i shows in place of its name (the name itself for a plain port).
    QString shownText(int i) const;
    // The tooltip of item i as typed (the item's tooltip shows it as plain text).
    QString toolTipText(int i) const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace kelotari
