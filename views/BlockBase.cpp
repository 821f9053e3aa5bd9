#include "BlockBase.h"

#include "BlockDescription.h"
#include "CanvasGeometry.h"
#include "Colours.h"
#include "DisplayText.h"
#include "SocketItem.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>

BlockBase::BlockBase(const BlockDescription* description)
    : blockDescription(description), nameFont(blockNameFont())
{
    const QString name = description ? description->name : QString();
    if (description)
        setToolTip(util::toolTipText(description->info));
    nameWidth = QFontMetrics(nameFont).horizontalAdvance(name);

    int inputs = 0;
    int outputs = 0;
    if (description) {
        for (const Variable& variable : description->variables) {
            if (variable.socketKind == Variable::SocketInput) {
                auto* socket = new SocketItem(&variable, this);
                socket->setPos(canvas::inputSocketPosition(inputs++));
                inSocketItems.append(socket);
            } else if (variable.socketKind == Variable::SocketOutput) {
                auto* socket = new SocketItem(&variable, this);
                socket->setPos(canvas::outputSocketPosition(outputs++));
                outSocketItems.append(socket);
            }
        }
    }
    bodyWidth = canvas::blockBodyWidth(nameWidth, inputs, outputs);
}

QFont BlockBase::blockNameFont()
{
    QFont font(QStringLiteral("Futura Std"));
    font.setPixelSize(14);
    return font;
}

QRectF BlockBase::boundingRect() const
{
    return canvas::blockBoundingRect(bodyWidth);
}

QBrush BlockBase::setBlockColor(const QColor& colour, bool user)
{
    QLinearGradient gradient(0, 0, 10, 0);
    gradient.setColorAt(0, colour);
    gradient.setColorAt(0.99, colour);
    gradient.setColorAt(1.0, user ? QColor(QStringLiteral("#dddddd"))
                                  : QColor(QStringLiteral("#FFFFFF")));
    return QBrush(gradient);
}

void BlockBase::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    const auto origin =
        blockDescription ? blockDescription->origin : BlockDescription::OriginLibrary;
    const bool carried = origin == BlockDescription::OriginPatch;

    painter->setRenderHint(QPainter::Antialiasing);
    if (isSelected()) {
        painter->setPen(QPen(Colours::selectColor, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter->drawRoundedRect(canvas::blockSelectionRect(bodyWidth), 7, 7);
    }

    const QColor category =
        Colours::categoryColor(blockDescription ? blockDescription->category : QString());
    painter->setBrush(setBlockColor(category, origin == BlockDescription::OriginUser));
    painter->setPen(QPen(carried ? Colours::userColor : Colours::borderColor, 2, Qt::SolidLine,
                         Qt::RoundCap, Qt::RoundJoin));
    painter->drawRoundedRect(canvas::blockBodyRect(bodyWidth), 5, 5);

    painter->setFont(nameFont);
    painter->setPen(carried ? Colours::userColor : QColor(Qt::black));
    painter->drawText(canvas::blockNameRect(nameWidth), Qt::AlignLeft,
                      blockDescription ? blockDescription->name : QString());
}
