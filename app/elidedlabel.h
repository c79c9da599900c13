#pragma once

#include <QLabel>

// A one-line label that gives way when space is short: a text wider than the label is drawn cut in the middle
// with an ellipsis, and its tooltip then gives the whole text (before any tooltip of its own). text() is always
// the whole text. Its width hint is the whole text, its minimum only a few characters, so a layout may squeeze
// it instead of pushing what stands beside it out of the window.
class ElidedLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget *parent = nullptr);

    // True while the text is drawn cut.
    bool isElided() const;
    // What is drawn: the text, cut in the middle where it does not fit.
    QString shownText() const;

    // Where the ellipsis goes (the middle by default). A label whose first words matter most cuts at the right.
    void setElideMode(Qt::TextElideMode mode);
    // What stays readable when the label is squeezed the most (a few characters by default): a label whose first
    // words must always be read keeps them.
    void setShortestShown(const QString &text);

    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    Qt::TextElideMode elideMode = Qt::ElideMiddle;
    QString shortestShown;
};
