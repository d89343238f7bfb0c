// The settings screen's controls as data: page, caption, kind and range, stored field and record form.
#pragma once

#include <QString>
#include <QVector>

class WizardPara;

namespace SettingsTable {

enum class Kind {
    Box,            // EditBox: an integer, or tenths shown as a decimal
    Check,          // CheckBox: 1 ticked, 0 not
    InvertedCheck,  // CheckBox stored 0 when ticked, -1 when not
    Combo,          // the current index
};

// When a control shows on its page (besides being on the current page).
enum class Show {
    Always,
    Factory,        // while "Display factory param" is ticked
    MultiDelay,     // delays 3..8: mode in force 3 and within the detection count
    UnlessShowAll,  // while "Display all the parameters" is not ticked
    Never,          // read and applied, never shown
    OutputState,    // outputs 1..4 factory; 5..9 also need mode 3 and enough detections
    MouldSide,      // while the next-start mode combo reads two-colour or turntable
    FactoryDetail,  // camera page details: factory, and hidden in simple display
};

// Layout columns of a page (x of the column's left edge).
constexpr int kColumnX[] = {30, 640, 1210};

struct Control
{
    int row;      // number in the reading order
    int page;     // 0 common, 1 camera, 3 input/output, 4 advanced
    int column;   // index into kColumnX; rows of a column follow the table's order
    int caption;  // text entry, or -1: fixedCaption (shown in every language)
    const char* fixedCaption;
    Kind kind;
    int min;
    int max;
    bool tenths;
    const char* sysRow;       // sysparam row; null: a field of the record kept in memory only
    int position;             // 1-based position in sysRow
    int WizardPara::*member;  // the memory-only field when sysRow is null
    Show show;
    const char* items;         // combo items: fixed texts separated by '|'
    QVector<int> itemEntries;  // or text entries
    int outputNumber;          // row 53: the output (1..9) this combo sets
};

const QVector<Control>& controls();
const Control* control(int row, int output = 0);
// The field a control reads and writes in a record (null only for row 87, which is no field).
int* field(WizardPara& para, const Control& c);
int fieldValue(const WizardPara& para, const Control& c);
QString caption(const Control& c);

// Record items in the order the "set" record lists them.
enum class Form {
    Switch,    // ", %1 is changed to " + active / deactive
    Clamp,     // the switch form with "Prohibit to clamp" / "Allow to clamp"
    Value,     // ", %1 is changed from %2 to %3"
    Delay,     // the delay form, %1 a detection name
    ReCheck,   // the re-check form, %1 a detection name
    Cameras,   // exposure, gain, clarity, truth and Gamma of every camera
    Password,  // the operator password text
};

struct RecordItem
{
    Form form;
    int row;      // control row (its field); 0 for the camera and password items
    int caption;  // text entry of %1; -1: the control's caption
    int output;   // row 53: the output number
};

const QVector<RecordItem>& recordItems();

// The "set" record of a change from `before` to `after`: the head, then one item for each
// recorded setting that differs (settings without an item change silently).
QString RecordText(const WizardPara& before, const WizardPara& after);

}  // namespace SettingsTable
