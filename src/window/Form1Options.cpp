// The job's options as the user sets them: the condition ("does" or "does not") and the save
// options, each kept in the settings store when chosen, and the output folder's "..." button.
#include "window/Form1.h"

#include "window/Platform.h"
#include "window/Settings.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QRadioButton>

namespace tarnwell {

void Form1::Combo1_Click()
{
    m_settings.SaveSetting(QStringLiteral("Combo1"), QString::number(Combo1->currentIndex()));
}

void Form1::Option1_Click()
{
    m_settings.SaveSetting(QStringLiteral("Option1"), TruthText(Option1->isChecked()));
    m_settings.SaveSetting(QStringLiteral("Option2"), TruthText(Option2->isChecked()));
}

void Form1::Option2_Click()
{
    Option1_Click(); // both handlers store both buttons' states
}

void Form1::PushButton6_Click()
{
    const QString folder = m_platform.BrowseForFolder(this, QStringLiteral("Please select folder:"));
    if (!folder.isEmpty())
        Text3->setText(folder.endsWith(QDir::separator()) ? folder : folder + QDir::separator());
}

} // namespace tarnwell
