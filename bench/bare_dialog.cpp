// The yardstick for start-up: a bare Qt dialog with one line of Japanese
// text and a button, shown and left idle, built with the same compiler and
// flags as the program.

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("bare"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("氏名を入力して下さい"), &dialog));
    layout->addWidget(new QPushButton(QStringLiteral("閉じる"), &dialog));
    dialog.show();
    return app.exec();
}
