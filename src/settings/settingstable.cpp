// The settings screen's control table and the "set" record composed from it.
#include "settingstable.h"

#include <cstring>

#include <QCoreApplication>

#include "lanstr.h"
#include "wizardpara.h"

namespace SettingsTable {

namespace {

// Texts of the record forms.
constexpr int kTextHead = 235;
constexpr int kTextDelayForm = 236;
constexpr int kTextExposureForm = 237;
constexpr int kTextGainForm = 238;
constexpr int kTextReCheckForm = 239;
constexpr int kTextSwitchForm = 240;
constexpr int kTextValueForm = 245;
constexpr int kTextClarityForm = 246;
constexpr int kTextTruthForm = 247;
constexpr int kTextGammaForm = 365;
constexpr int kTextPasswordForm = 249;
constexpr int kTextActive = 250;
constexpr int kTextDeactive = 251;
constexpr int kTextProhibitClamp = 252;
constexpr int kTextAllowClamp = 253;
constexpr int kTextProd = 263;
constexpr int kTextMold = 264;
constexpr int kTextIoPort = 269;

constexpr bool kTenths = true;

Control Box(int row, int page, int column, int entry, int min, int max, bool tenths, const char* sysRow, int pos,
            Show show = Show::Always)
{
    return {row, page, column, entry, nullptr, Kind::Box, min, max, tenths, sysRow, pos, nullptr, show, nullptr, {}, 0};
}

Control FixedBox(int row, int page, int column, const char* text, int min, int max, int WizardPara::*member)
{
    return {row, page, column, -1, text, Kind::Box, min, max, false, nullptr, 0, member, Show::Never, nullptr, {}, 0};
}

Control Check(int row, int page, int column, int entry, const char* sysRow, int pos, Show show = Show::Always)
{
    return {row, page, column, entry, nullptr, Kind::Check, 0, 1, false, sysRow, pos, nullptr, show, nullptr, {}, 0};
}

Control FixedCheck(int row, int page, int column, const char* text, const char* sysRow, int pos,
                   Show show = Show::Always)
{
    return {row, page, column, -1, text, Kind::Check, 0, 1, false, sysRow, pos, nullptr, show, nullptr, {}, 0};
}

Control Combo(int row, int page, int column, int entry, const char* items, QVector<int> itemEntries, const char* sysRow,
              int pos, Show show = Show::Always, int output = 0)
{
    return {row,         page,    column, entry, nullptr,
            Kind::Combo, 0,       0,      false, sysRow,
            pos,         nullptr, show,   items, std::move(itemEntries),
            output};
}

const char* const kStates = "  Break|  Close";

// Output i's state combo: caption and the system7 position of its inversion.
struct OutputState
{
    int caption;
    int position;
};
const OutputState kOutputStates[9] = {{273, 5},  {274, 6},  {275, 7},  {281, 9}, {496, 15},
                                      {496, 16}, {496, 17}, {496, 18}, {496, 19}};

QVector<Control> BuildControls()
{
    using S = Show;
    QVector<Control> t = {
        // Page 0: delays, re-check, filter, then the function switches.
        Box(1, 0, 0, 161, 0, 10000, kTenths, "trigInDelay", 1),
        Box(2, 0, 0, 162, 0, 10000, kTenths, "trigInDelay", 2),
        Box(3, 0, 0, 485, 0, 10000, kTenths, "trigInDelay", 3, S::MultiDelay),
        Box(4, 0, 0, 486, 0, 10000, kTenths, "trigInDelay", 4, S::MultiDelay),
        Box(5, 0, 0, 487, 0, 10000, kTenths, "trigInDelay", 5, S::MultiDelay),
        Box(6, 0, 0, 488, 0, 10000, kTenths, "trigInDelay", 6, S::MultiDelay),
        Box(7, 0, 0, 489, 0, 10000, kTenths, "trigInDelay", 7, S::MultiDelay),
        Box(8, 0, 0, 490, 0, 10000, kTenths, "trigInDelay", 8, S::MultiDelay),
        Box(9, 0, 0, -1, 0, 10, false, "system1", 7),
        Box(10, 0, 0, 162, 0, 10000, kTenths, "system14", 2),
        Box(11, 0, 0, 22, 1, 10, false, "system4", 2, S::UnlessShowAll),
        Box(12, 0, 0, 24, 0, 1000, false, "system4", 3, S::UnlessShowAll),
        FixedBox(13, 0, 0, "颜色最小面积", 0, 100000, &WizardPara::colorMinArea),
        FixedBox(14, 0, 0, "颜色最大面积", 0, 100000, &WizardPara::colorMaxArea),
        Box(15, 4, 0, 663, 0, 10, false, "system9", 9),
        Box(16, 4, 0, 664, 0, 10, false, "system9", 10),
        Check(17, 0, 2, 174, "system1", 1),
        Check(18, 0, 2, 400, "system4", 1),
        Check(19, 0, 2, 175, "system1", 2),
        Check(20, 0, 2, 177, "system1", 3),
        {21, 0, 2, 176, nullptr, Kind::InvertedCheck, 0, 1, false, "system1", 4, nullptr, S::Always, nullptr, {}, 0},
        // Page 1: the factory details of the cameras.
        Box(22, 1, 2, 244, 0, 32, false, "system2", 17, S::FactoryDetail),
        Check(23, 1, 1, 270, "system7", 2, S::FactoryDetail),
        Check(24, 1, 1, 271, "system7", 3, S::FactoryDetail),
        Check(25, 1, 1, 519, "system5", 12, S::FactoryDetail),
        Check(26, 1, 1, 621, "system12", 18, S::FactoryDetail),
        Check(27, 1, 1, 388, "numFailDetect", 4, S::FactoryDetail),
        Check(28, 1, 1, 337, "system7", 8, S::FactoryDetail),
        Check(29, 1, 1, 196, "system3", 4, S::FactoryDetail),
        Check(30, 1, 1, 197, "system3", 5, S::FactoryDetail),
        Check(31, 1, 1, 198, "system3", 6, S::FactoryDetail),
        Check(32, 1, 1, 199, "system3", 7, S::FactoryDetail),
        Check(33, 1, 1, 391, "numFailDetect", 7, S::FactoryDetail),
        Check(34, 1, 1, 390, "numFailDetect", 6, S::FactoryDetail),
        Check(35, 1, 1, 520, "system7", 20, S::FactoryDetail),
        Check(36, 1, 1, 625, "system13", 17, S::FactoryDetail),
        FixedCheck(37, 1, 1, "启用颜色斑点", "numFailDetect", 5, S::Never),
        Check(38, 1, 1, 397, "numFailDetect", 8, S::FactoryDetail),
        Check(39, 1, 1, 582, "system8", 20, S::FactoryDetail),
        Check(40, 1, 1, 583, "system12", 1, S::FactoryDetail),
        Check(41, 1, 1, 200, "system3", 8, S::FactoryDetail),
        // Page 3: inputs and outputs.
        Combo(42, 3, 1, 269, "  COM1|  COM2|  COM3|  COM4|  COM5|  COM6|  COM7|  COM8", {}, "system7", 1, S::Factory),
        Box(43, 3, 0, 336, 0, 10000, false, "system2", 18),
        Box(44, 3, 0, 166, 0, 100, kTenths, "system1", 6),
        Box(45, 3, 0, 168, 0, 1000, kTenths, "system2", 5),
        Box(46, 3, 0, 169, 0, 1000, kTenths, "system2", 6),
        Box(47, 3, 0, 524, 0, 100, kTenths, "system6", 9),
        Box(48, 3, 0, 630, 0, 100, false, "system13", 20, S::Factory),
        Box(49, 3, 0, 662, 0, 100, false, "system14", 3, S::Factory),
        Box(50, 3, 0, 667, 0, 100, kTenths, "system9", 12),
        Combo(51, 3, 1, 203, "    RSV|   Open|  Safety|   Back", {}, "system3", 1),
        Combo(52, 3, 1, 334, "    RSV|    Clmp|    Thim|    Alrm", {}, "system2", 14),
    };
    for (int i = 0; i < 9; ++i)
        t << Combo(53, 3, 1, kOutputStates[i].caption, kStates, {}, "system7", kOutputStates[i].position,
                   S::OutputState, i + 1);
    t << QVector<Control>{
        Check(54, 3, 2, 178, "system2", 1),
        Check(55, 3, 2, 179, "system1", 5),
        Check(56, 3, 2, 192, "system2", 9),
        Check(57, 3, 2, 190, "system2", 7),
        Check(58, 3, 2, 659, "system14", 1),
        Check(59, 3, 2, 193, "system2", 8),
        Check(60, 3, 2, 513, "system8", 18),
        Check(61, 3, 2, 195, "system3", 2),
        Check(62, 3, 2, 265, "system3", 11),
        Check(63, 3, 2, 202, "system5", 9),
        Combo(64, 3, 1, -1, nullptr, {384, 385, 386, 472}, "numFailDetect", 1),
        Combo(65, 3, 1, -1, nullptr, {376, 377, 383}, "numFailDetect", 2, S::MouldSide),
        Check(66, 3, 2, 515, "system5", 11),
        Check(67, 3, 2, 562, "system5", 13),
        Check(68, 3, 2, 629, "system13", 18),
        Check(69, 3, 2, 666, "system9", 11),
        Check(70, 3, 2, 677, "system9", 14),
        FixedCheck(71, 3, 2, "成品检测NG时不输出顶针，报警不停机", "system9", 15),
        FixedCheck(72, 3, 2, "输入信号复位重检", "system9", 18),
        // Page 4: matching, records, screen and the factory switches.
        Box(73, 4, 0, 213, 1, 8000, false, "system2", 15),
        Box(74, 4, 0, 185, 1, 100, false, "system2", 2),
        Box(75, 4, 0, 186, 0, 20000, false, "system2", 4),
        Box(76, 4, 0, 187, 0, 20000, false, "system1", 8),
        Box(77, 4, 0, 243, 30, 9999, false, "system2", 16),
        Box(78, 4, 0, 188, 0, 4, false, "system3", 3),
        Box(79, 4, 0, 189, 0, 1000, false, "system3", 9),
        Box(80, 4, 0, 181, 1, 20, false, "system2", 3),
        Box(81, 4, 0, 403, 0, 180, false, "system5", 10),
        Check(82, 4, 1, 254, "system7", 10),
        Check(83, 4, 1, 272, "system7", 4),
        Check(84, 4, 1, 623, "system12", 20),
        Check(85, 4, 1, 622, "system12", 19),
        Check(86, 4, 1, 624, "system7", 14),
        Check(87, 4, 1, 201, nullptr, 0),
        Check(88, 4, 1, 194, "system2", 10),
        Check(89, 4, 1, 341, "system2", 11),
        Check(90, 4, 1, 556, "system6", 12),
        Check(91, 4, 1, 554, "system6", 10),
        FixedCheck(92, 4, 2, "成品模板为NG图", "system11", 18),
        FixedCheck(93, 4, 2, "模腔模板为NG图", "system11", 19),
        Check(94, 4, 2, 470, "system7", 13),
        Check(95, 4, 2, 558, "system8", 19),
        Check(96, 4, 2, 658, "system2", 12),
        Check(97, 4, 2, 671, "system9", 13),
        Check(98, 4, 2, 676, "system1", 9),
        FixedCheck(99, 4, 2, "启用连续复制区域", "system9", 16),
        FixedCheck(100, 4, 2, "启用图像放大缩小", "system14", 4),
        Check(101, 0, 2, 170, "isPswUsed", 1),
    };
    return t;
}

QVector<RecordItem> BuildRecordItems()
{
    using F = Form;
    QVector<RecordItem> items = {
        {F::Delay, 1, kTextProd, 0}, {F::Delay, 2, kTextMold, 0}, {F::ReCheck, 9, kTextMold, 0}, {F::Value, 11, -1, 0},
        {F::Value, 12, -1, 0},       {F::Switch, 17, -1, 0},      {F::Switch, 19, -1, 0},        {F::Switch, 21, -1, 0},
        {F::Switch, 20, -1, 0},      {F::Switch, 18, -1, 0},      {F::Cameras, 0, -1, 0},        {F::Value, 22, -1, 0},
    };
    for (int row : {23, 24, 39, 27, 28, 25, 29, 30, 31, 32, 40, 41, 34, 33, 35, 36, 38})
        items << RecordItem{F::Switch, row, -1, 0};
    items << RecordItem{F::Value, 42, kTextIoPort, 0};
    for (int row : {43, 44, 45, 46, 51, 52}) items << RecordItem{F::Value, row, -1, 0};
    for (int output = 1; output <= 4; ++output) items << RecordItem{F::Value, 53, -1, output};
    // The mould side has no caption of its own: the record names the mould.
    items << RecordItem{F::Value, 65, kTextMold, 0};
    items << RecordItem{F::Switch, 54, -1, 0} << RecordItem{F::Clamp, 55, -1, 0};
    for (int row : {56, 57, 58, 59, 61, 62, 63}) items << RecordItem{F::Switch, row, -1, 0};
    for (int row : {74, 75, 76, 78, 79, 73, 77, 80, 81}) items << RecordItem{F::Value, row, -1, 0};
    for (int row : {88, 89, 101}) items << RecordItem{F::Switch, row, -1, 0};
    items << RecordItem{F::Password, 0, -1, 0};
    return items;
}

QString ValueItem(int form, const QString& name, int before, int after)
{
    return LanStr(form).arg(name).arg(before).arg(after);
}

// Per camera: the record form of each tuned value and where the record keeps it.
struct CameraValue
{
    int form;
    int (WizardPara::*values)[8];
};
const CameraValue kCameraValues[] = {{kTextExposureForm, &WizardPara::exposeTime},
                                     {kTextGainForm, &WizardPara::adjustPlus},
                                     {kTextClarityForm, &WizardPara::sharp},
                                     {kTextTruthForm, &WizardPara::contrast},
                                     {kTextGammaForm, &WizardPara::gamma}};

}  // namespace

const QVector<Control>& controls()
{
    static const QVector<Control> table = BuildControls();
    return table;
}

const Control* control(int row, int output)
{
    for (const Control& c : controls())
        if (c.row == row && c.outputNumber == output)
            return &c;
    return nullptr;
}

int* field(WizardPara& para, const Control& c)
{
    if (c.sysRow)
        return para.sysParamValue(QString::fromLatin1(c.sysRow), c.position);
    return c.member ? &(para.*c.member) : nullptr;
}

int fieldValue(const WizardPara& para, const Control& c)
{
    const int* f = field(const_cast<WizardPara&>(para), c);
    return f ? *f : 0;
}

QString caption(const Control& c)
{
    if (c.caption < 0)
        return c.fixedCaption ? QCoreApplication::translate("WizardParaWidget", c.fixedCaption) : QString();
    if (c.row == 53 && c.outputNumber > 4)
        return LanStr(c.caption).arg(c.outputNumber);
    return LanStr(c.caption);
}

const QVector<RecordItem>& recordItems()
{
    static const QVector<RecordItem> items = BuildRecordItems();
    return items;
}

QString RecordText(const WizardPara& before, const WizardPara& after)
{
    QString text;
    for (const RecordItem& item : recordItems()) {
        if (item.form == Form::Cameras) {
            for (int cam = 0; cam < 8; ++cam)
                for (const CameraValue& v : kCameraValues) {
                    const int was = (before.*v.values)[cam];
                    const int now = (after.*v.values)[cam];
                    if (was != now)
                        text += ValueItem(v.form, QString::number(cam + 1), was, now);
                }
            continue;
        }
        if (item.form == Form::Password) {
            if (std::strncmp(before.password, after.password, sizeof before.password) != 0)
                text += LanStr(kTextPasswordForm);
            continue;
        }
        const Control* c = control(item.row, item.output);
        if (!c)
            continue;
        const int was = fieldValue(before, *c);
        const int now = fieldValue(after, *c);
        if (was == now)
            continue;
        const QString name = item.caption >= 0 ? LanStr(item.caption) : caption(*c);
        switch (item.form) {
            case Form::Switch: {
                const bool on = c->kind == Kind::InvertedCheck ? now == 0 : now != 0;
                text += LanStr(kTextSwitchForm).arg(name) + LanStr(on ? kTextActive : kTextDeactive);
                break;
            }
            case Form::Clamp:
                text += LanStr(kTextSwitchForm).arg(name) + LanStr(now != 0 ? kTextProhibitClamp : kTextAllowClamp);
                break;
            case Form::Value:
                text += ValueItem(kTextValueForm, name, was, now);
                break;
            case Form::Delay:
                text += ValueItem(kTextDelayForm, name, was, now);
                break;
            case Form::ReCheck:
                text += ValueItem(kTextReCheckForm, name, was, now);
                break;
            default:
                break;
        }
    }
    return LanStr(kTextHead) + text;
}

}  // namespace SettingsTable
