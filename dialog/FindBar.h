// The find bar: a one-line text box that narrows the result list as the
// user types, with the "n / m" count of rows shown and rows listed beside it.
// It only reports what the user does; the window decides what follows.
#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QLineEdit;
class QToolButton;

namespace tamboro {

class FindBar : public QWidget {
    Q_OBJECT
public:
    explicit FindBar(QWidget* parent = nullptr);

    QLineEdit* TextBox() const { return m_text; }
    QString Text() const;
    // Shows "shown / listed".
    void SetCounts(int shown, int listed);
    QString CountsText() const;
    // Puts the focus in the text box with its text selected, so that typing
    // replaces the last query.
    void FocusText();

signals:
    // The text box's text changed (typed, pasted or set).
    void TextChanged(const QString& text);
    // Enter or Down in the text box: the focus should go to the list.
    void GoToListRequested();
    // Escape in the bar, or its close button.
    void CloseRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* m_caption;
    QLineEdit* m_text;
    QLabel* m_counts;
    QToolButton* m_close;
};

}  // namespace tamboro
