#pragma once

#include <QLabel>
#include <QString>

// A one-line label that gives way when space is short: it shows as much of its text as fits, cut in the middle
// with an ellipsis, and then carries the whole text in its tooltip. Its width hint is the whole text, its
// minimum only a few characters, so a layout may squeeze it instead of cutting off what stands beside it.
class ElidedLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget *parent = nullptr);

    // The whole text (QLabel::text() is what is shown).
    QString fullText() const { return whole; }
    void setFullText(const QString &text);
    // True while the text is shown cut.
    bool isElided() const { return text() != whole; }

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void fit();

    QString whole;
};
