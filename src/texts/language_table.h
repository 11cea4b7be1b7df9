#pragma once

#include <QChar>
#include <QString>
#include <QStringList>
#include <vector>

class QWidget;

// The run-time language switch as data: one row per control and property,
// texts for language index 0 (Simplified Chinese), 1 (Traditional Chinese), 2 (English).
namespace lang {

enum class TextProp { Title, Text, TabText, ConnectButton, StepButton };

struct TextRow {
    const char *object;   // object name in the form
    TextProp prop;
    int page;             // tab index for TabText, otherwise -1
    const char *text[3];  // UTF-8; null for the two state-dependent rows
};

constexpr int kLanguageCount = 3;

// The switch's table, in the order it applies it. ConnectButton follows
// pushButton_com_ref and StepButton follows label_language; both carry no text.
const std::vector<TextRow> &languageRows();

// Header labels of both register tables; empty outside 0..2.
QStringList tableHeaders(int language);

// Text of commandLinkButton_ma_auto_calib_4 for step 'a', 'b' or 'c'; empty otherwise.
QString stepText(QChar letter, int language);

// Why the automatic current calibration stopped without storing anything.
enum class CalibrationEnd { StateLost };
QString calibrationEndText(CalibrationEnd which, int language);

// Idle: what the switch writes when not connected; Disconnected: what a disconnect
// writes (the Chinese words are the other way round); Connected: after connecting.
enum class ConnectText { Idle, Connected, Disconnected };
QString connectButtonText(ConnectText which, int language);

// Applies every row in order to the children of `window`, then the table headers
// (tableWidget_reg_2 first, then tableWidget_reg). An index outside 0..2 changes nothing.
void applyLanguage(QWidget *window, int language, bool connected);

}  // namespace lang
