#pragma once

#include <QLabel>

// A one-line value label that a narrow window may squeeze: the text is cut with "…" instead of
// running into its neighbour, and the tool tip shows it whole. text() stays the whole text.
class ElidedLabel : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

    QSize minimumSizeHint() const override;
    bool isElided() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;

private:
    QRect textArea() const;
};
