#pragma once

#include <QCursor>
#include <QIcon>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>

class QWidget;

namespace tarnwell {

// The skin file format. A skin is a Qt style sheet in UTF-8 whose first line is exactly the
// header comment below (a byte-order mark before it is allowed); a file without it is not a skin.
// Lines of the form "/* [name] */" open a section that runs to the next such line:
//   - the text before the first section is the skin's colours, drawn when option bit 1 is set;
//   - "[metrics]" holds paddings, borders and corner radii, drawn when SetApplyMetrics(true);
//   - "[frame]" styles the window's own background and its frames, drawn when
//     SetFrameSkinning(true);
//   - any other name is a variant, added after the colours when LoadSkin names it.
// Font sizes belong to the window, never to a skin.
inline constexpr char kSkinHeader[] = "/* Tarnwell skin */";
inline constexpr int kSkinApplyColours = 1;

// The skinning component. It knows exactly six calls, which the window makes in this order:
// LoadSkin, ApplyOptions (read), SetApplyOptions (with bit 1), SetApplyMetrics, SetFrameSkinning,
// ApplyWindow. A skin file holds a Qt style sheet; it is drawn on the one window given.
class SkinFramework
{
public:
    virtual ~SkinFramework() = default;
    // Loads the skin from `path`; `iniName` selects a variant inside it ("" for the default).
    // Throws AppError when the file cannot be read or holds no usable skin.
    virtual void LoadSkin(const QString &path, const QString &iniName);
    virtual int ApplyOptions() const;
    virtual void SetApplyOptions(int options);
    virtual void SetApplyMetrics(bool on);
    virtual void SetFrameSkinning(bool on);
    // Draws `window` (and its children) with the loaded skin. Throws AppError without a skin.
    virtual void ApplyWindow(QWidget *window);

    // The style sheet that ApplyWindow sets, from the loaded skin and the current switches.
    QString ComposedStyleSheet() const;

protected:
    QString m_styleSheet;
    int m_options = 0;
    bool m_metrics = false;
    bool m_frameSkinning = false;
    std::map<QString, QString> m_sections; // section name -> rules; "" for the colours
    QString m_variant;
};

// Program folder + "/x/o.cjs" and program folder + "/HAND-M.CUR" (native separators).
QString SkinFilePath(const QString &programFolder);
QString CursorFilePath(const QString &programFolder);

// When the skin file is a regular, non-hidden file: gives the window and its option buttons,
// check boxes, frames and labels the button-face colour, then makes the six calls on `skin`.
// Otherwise changes nothing. Errors of the component reach the caller (AppError); the recolouring
// done before stays.
void ApplySkin(QWidget *window, const QString &programFolder, SkinFramework &skin);

// Loads a cursor file (.cur). Throws AppError when the file is not a cursor image.
QCursor LoadCursorFile(const QString &path);

// The pointer state a mouse move over the control named `objectName` asks for: 99 over the
// command buttons, 0 over the window, frames, the two big text boxes and the list; nothing for
// every other control.
std::optional<int> MouseMovePointer(const QString &objectName);

// The pointer state after such a move: the busy state (11) is left alone.
int PointerAfterMouseMove(int current, std::optional<int> requested);

// The program's own icon, in several sizes.
QIcon ApplicationIcon();

} // namespace tarnwell
