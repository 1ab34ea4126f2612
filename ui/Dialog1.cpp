#include "ui/Dialog1.h"

#include "settings/Configuration.h"
#include "settings/Configuration_folders.h"
#include "ui/Controlworks.h"
#include "storage/Export.h"

#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

TOptForm::TOptForm(CONFIGURATION& settings, QWidget* owner) : QDialog(owner), settings_(settings)
{
    setObjectName(QStringLiteral("OptForm"));
    setWindowTitle(ui_text(options_text::caption));
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);

    Label1 = new QLabel(ui_text(options_text::package_folder), this);
    Label2 = new QLabel(ui_text(options_text::data_folder), this);
    Edit1 = new QLineEdit(this);
    Edit2 = new QLineEdit(this);
    MyButton3 = new QPushButton(ui_text(options_text::browse), this);
    MyButton4 = new QPushButton(ui_text(options_text::browse), this);
    MyButton1 = new QPushButton(ui_text(options_text::ok), this);
    MyButton2 = new QPushButton(ui_text(options_text::cancel), this);
    Label3 = new QLabel(ui_text(options_text::silence_hours), this);
    SilenceHours = new QSpinBox(this);
    SilenceHours->setObjectName(QStringLiteral("SilenceHours"));
    SilenceHours->setRange(min_silence_hours, max_silence_hours);
    Label3->setBuddy(SilenceHours);
    Label4 = new QLabel(ui_text(options_text::time_zone), this);
    TimeZone = new QLineEdit(this);
    TimeZone->setObjectName(QStringLiteral("TimeZone"));
    TimeZone->setPlaceholderText(ui_text(options_text::time_zone_example));
    TimeZone->setMaxLength(6);
    TimeZone->setFixedWidth(80);
    Label4->setBuddy(TimeZone);
    for (QPushButton* browse : {MyButton3, MyButton4})
        browse->setFixedWidth(36);
    MyButton1->setDefault(true);

    auto* rows = new QGridLayout;
    rows->addWidget(Label1, 0, 0, 1, 2);
    rows->addWidget(Edit1, 1, 0);
    rows->addWidget(MyButton3, 1, 1);
    rows->addWidget(Label2, 2, 0, 1, 2);
    rows->addWidget(Edit2, 3, 0);
    rows->addWidget(MyButton4, 3, 1);
    auto* silence = new QHBoxLayout;
    silence->addWidget(Label3);
    silence->addWidget(SilenceHours);
    silence->addStretch();
    rows->addLayout(silence, 4, 0, 1, 2);
    auto* zone = new QHBoxLayout;
    zone->addWidget(Label4);
    zone->addWidget(TimeZone);
    zone->addStretch();
    rows->addLayout(zone, 5, 0, 1, 2);
    rows->setVerticalSpacing(6);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(MyButton1);
    buttons->addWidget(MyButton2);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(rows);
    layout->addStretch();
    layout->addLayout(buttons);
    layout->setContentsMargins(16, 16, 16, 12);
    resize(563, 292);

    connect(MyButton1, &QPushButton::clicked, this, &QDialog::accept);
    connect(MyButton2, &QPushButton::clicked, this, &QDialog::reject);
    connect(MyButton3, &QPushButton::clicked, this, [this] { MyButton4Click(MyButton3); });
    connect(MyButton4, &QPushButton::clicked, this, [this] { MyButton4Click(MyButton4); });

    apply_interface_style(*this);
}

bool TOptForm::execute()
{
    Edit1->setText(QString::fromStdString(settings_.from_path));
    Edit2->setText(QString::fromStdString(settings_.to_path));
    SilenceHours->setValue(settings_.silence_hours);
    TimeZone->setText(QString::fromStdString(settings_.time_zone));
    if (exec() != QDialog::Accepted)
        return false;
    // A relative folder typed here is taken from the home folder: a window program's current
    // folder is wherever the desktop started it.
    const std::string base = user_home_folder();
    settings_.from_path = normalised_folder(Edit1->text().trimmed().toStdString(), base);
    settings_.to_path = normalised_folder(Edit2->text().trimmed().toStdString(), base);
    settings_.silence_hours = SilenceHours->value();
    // Kept as the program writes offsets, so that "+5" reads "+05:00" next time.
    const std::string zone = TimeZone->text().trimmed().toStdString();
    if (zone.empty())
        settings_.time_zone.clear();
    else if (const auto minutes = data_export::parse_utc_offset(zone))
        settings_.time_zone = data_export::utc_offset_text(*minutes);
    return true;
}

void TOptForm::MyButton4Click(QPushButton* sender)
{
    QLabel* title = sender == MyButton3 ? Label1 : Label2;
    QLineEdit* target = sender == MyButton3 ? Edit1 : Edit2;
    const QString folder = QFileDialog::getExistingDirectory(this, title->text(), QDir::homePath());
    if (!folder.isEmpty())
        target->setText(folder);
}
