#include "app/views/glyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QtMath>

namespace tolvane {
namespace {

const QColor Outline(40, 40, 40);
const QColor ChipBody(60, 60, 70);
const QColor ReadArrow(30, 110, 210);
const QColor WriteArrow(210, 70, 30);
const QColor Silver(192, 192, 192);

// Paints Draw onto a transparent square pixmap of Size pixels with antialiasing on.
template <class Painting>
QPixmap Paint(int Size, Painting&& Draw) {
  QPixmap Picture(Size, Size);
  Picture.fill(Qt::transparent);
  QPainter Painter(&Picture);
  Painter.setRenderHint(QPainter::Antialiasing);
  Draw(Painter);
  return Picture;
}

template <class Painting>
QIcon Glyph(Painting&& Draw) {
  return QIcon(Paint(GlyphSize, std::forward<Painting>(Draw)));
}

void DrawChip(QPainter& Painter, const QRectF& Body) {
  Painter.setPen(QPen(Outline, 1));
  for (int Pin = 0; Pin < 3; ++Pin) {
    const qreal X = Body.left() + 2 + Pin * (Body.width() - 4) / 2;
    Painter.drawLine(QPointF(X, Body.top() - 2), QPointF(X, Body.top()));
    Painter.drawLine(QPointF(X, Body.bottom()), QPointF(X, Body.bottom() + 2));
  }
  Painter.setBrush(ChipBody);
  Painter.drawRect(Body);
  Painter.setBrush(Qt::white);
  Painter.setPen(Qt::NoPen);
  Painter.drawEllipse(QPointF(Body.left() + 2, Body.top() + 2), 0.9, 0.9);
}

// A thick arrow from From to To with a triangular head.
void DrawArrow(QPainter& Painter, QPointF From, QPointF To, const QColor& Colour) {
  Painter.setPen(QPen(Colour, 2.2, Qt::SolidLine, Qt::FlatCap));
  const QPointF Direction = (To - From) / std::hypot(To.x() - From.x(), To.y() - From.y());
  const QPointF Normal(-Direction.y(), Direction.x());
  const QPointF HeadBase = To - Direction * 4;
  Painter.drawLine(From, HeadBase);
  Painter.setPen(Qt::NoPen);
  Painter.setBrush(Colour);
  Painter.drawPolygon(QPolygonF({To, HeadBase + Normal * 3.5, HeadBase - Normal * 3.5}));
}

}  // namespace

QIcon ConnectGlyph() {
  return Glyph([](QPainter& Painter) {
    Painter.setPen(QPen(Outline, 1));
    Painter.setBrush(QColor(200, 200, 205));
    Painter.drawRect(QRectF(5.5, 1.5, 2, 5));  // prongs
    Painter.drawRect(QRectF(9.5, 1.5, 2, 5));
    Painter.setBrush(QColor(40, 150, 60));
    Painter.drawRoundedRect(QRectF(3.5, 6.5, 10, 5), 1.5, 1.5);  // plug body
    Painter.setPen(QPen(QColor(40, 150, 60), 2));
    Painter.drawLine(QPointF(8.5, 11.5), QPointF(8.5, 15.5));  // cable
  });
}

QIcon ReadGlyph() {
  return Glyph([](QPainter& Painter) {
    DrawChip(Painter, QRectF(1.5, 3.5, 8, 9));
    DrawArrow(Painter, QPointF(8, 8), QPointF(15.5, 8), ReadArrow);
  });
}

QIcon WriteGlyph() {
  return Glyph([](QPainter& Painter) {
    DrawChip(Painter, QRectF(6.5, 3.5, 8, 9));
    DrawArrow(Painter, QPointF(0.5, 8), QPointF(8.5, 8), WriteArrow);
  });
}

QIcon ExitBitmap() {
  return Glyph([](QPainter& Painter) {
    Painter.setPen(QPen(Outline, 1));
    Painter.setBrush(QColor(150, 100, 50));
    Painter.drawRect(QRectF(1.5, 1.5, 8, 13));  // door frame
    Painter.setBrush(QColor(110, 70, 30));
    Painter.drawPolygon(QPolygonF({{1.5, 1.5}, {6.5, 3.5}, {6.5, 15.5}, {1.5, 14.5}}));
    DrawArrow(Painter, QPointF(8, 8), QPointF(15.5, 8), QColor(200, 40, 40));
  });
}

QIcon ColorBitmap() {
  return Glyph([](QPainter& Painter) {
    Painter.setPen(QPen(Outline, 1));
    Painter.setBrush(QColor(220, 40, 40));
    Painter.drawEllipse(QRectF(1.5, 1.5, 7, 7));
    Painter.setBrush(QColor(40, 170, 60));
    Painter.drawEllipse(QRectF(7.5, 1.5, 7, 7));
    Painter.setBrush(QColor(40, 90, 220));
    Painter.drawEllipse(QRectF(4.5, 7.5, 7, 7));
  });
}

QIcon PortBitmap() {
  return Glyph([](QPainter& Painter) {
    Painter.setPen(QPen(Outline, 1));
    Painter.setBrush(QColor(170, 175, 185));
    Painter.drawPolygon(QPolygonF({{0.5, 4.5}, {15.5, 4.5}, {13.5, 11.5}, {2.5, 11.5}}));
    Painter.setPen(Qt::NoPen);
    Painter.setBrush(Outline);
    for (int Pin = 0; Pin < 5; ++Pin) Painter.drawEllipse(QPointF(3.5 + Pin * 2.25, 6.8), 0.9, 0.9);
    for (int Pin = 0; Pin < 4; ++Pin) Painter.drawEllipse(QPointF(4.6 + Pin * 2.25, 9.3), 0.9, 0.9);
  });
}

QIcon AboutBitmap() {
  return Glyph([](QPainter& Painter) {
    Painter.setPen(QPen(QColor(20, 60, 150), 1));
    Painter.setBrush(QColor(40, 100, 210));
    Painter.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    Painter.setPen(Qt::NoPen);
    Painter.setBrush(Qt::white);
    Painter.drawEllipse(QPointF(8, 4.3), 1.3, 1.3);
    Painter.drawRect(QRectF(6.8, 6.5, 2.4, 6.5));
  });
}

QPixmap DialPicture() {
  return Paint(DialPictureSize, [](QPainter& Painter) {
    const QPointF Centre(34.5, 40);
    const qreal Radius = 29;
    Painter.fillRect(QRectF(0, 0, DialPictureSize, DialPictureSize), Silver);
    Painter.setPen(QPen(Qt::black, 1.5));
    Painter.setBrush(Qt::NoBrush);
    Painter.drawEllipse(QRectF(2, 2, 65, 65));
    // Scale from 210 degrees (left) to -30 degrees (right), long ticks every fifth.
    for (int Tick = 0; Tick <= 20; ++Tick) {
      const qreal Angle = qDegreesToRadians(210.0 - Tick * 12.0);
      const qreal Inner = Tick % 5 == 0 ? Radius - 8 : Radius - 4;
      const QPointF Unit(std::cos(Angle), -std::sin(Angle));
      Painter.setPen(QPen(Qt::black, Tick % 5 == 0 ? 1.6 : 0.8));
      Painter.drawLine(Centre + Unit * Inner, Centre + Unit * (Radius - 1));
    }
    const qreal NeedleAngle = qDegreesToRadians(130.0);
    const QPointF NeedleTip = Centre + QPointF(std::cos(NeedleAngle), -std::sin(NeedleAngle)) * 25;
    Painter.setPen(QPen(Qt::black, 2, Qt::SolidLine, Qt::RoundCap));
    Painter.drawLine(Centre, NeedleTip);
    Painter.setPen(Qt::NoPen);
    Painter.setBrush(Qt::black);
    Painter.drawEllipse(Centre, 3.5, 3.5);
  });
}

QIcon ApplicationIcon() {
  QIcon Icon;
  for (const int Size : {16, 32, 48}) {
    Icon.addPixmap(Paint(Size, [Size](QPainter& Painter) {
      Painter.scale(Size / 32.0, Size / 32.0);
      // Glass envelope, anode plate, glowing filament and base of a valve.
      QPainterPath Envelope;
      Envelope.moveTo(8, 25);
      Envelope.lineTo(8, 10);
      Envelope.cubicTo(8, 1, 24, 1, 24, 10);
      Envelope.lineTo(24, 25);
      Envelope.closeSubpath();
      Painter.setPen(QPen(QColor(70, 90, 110), 1.2));
      Painter.setBrush(QColor(200, 225, 240, 200));
      Painter.drawPath(Envelope);
      Painter.setPen(Qt::NoPen);
      Painter.setBrush(QColor(255, 150, 30, 160));
      Painter.drawEllipse(QPointF(16, 17), 6, 7);
      Painter.setBrush(QColor(90, 90, 100));
      Painter.drawRect(QRectF(12, 9, 8, 12));
      Painter.setBrush(QColor(255, 110, 0));
      Painter.drawRect(QRectF(15, 12, 2, 8));
      Painter.setBrush(QColor(40, 40, 40));
      Painter.drawRoundedRect(QRectF(7, 24, 18, 6), 1.5, 1.5);
    }));
  }
  return Icon;
}

}  // namespace tolvane
