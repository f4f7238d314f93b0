#pragma once
// A label that shows data, such as a path: its text is plain, with no markup and no mnemonic.
// A text wider than the label is drawn cut in the middle with "…", so that a path's drive and
// its file name stay in view (elide_path); the label's text stays whole for readers and
// printing, and shows whole as its tooltip.

#include <QLabel>

namespace rt {

class text_label : public QLabel {
    Q_OBJECT
public:
    explicit text_label(const QString& text = QString(), QWidget* parent = nullptr);

    // The text as drawn: whole when it fits, else cut in the middle.
    QString shown_text() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    QRect text_rect() const;
};

} // namespace rt
