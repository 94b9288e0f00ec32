#pragma once
// The serial port selector: a drop-down list of port names that cannot be typed into. An item
// may show a description beside its name in the open list; the text read, selected and
// stored is the name alone.
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
};

} // namespace kelotari
