#include "model/Fixediolists.h"

#include "model/Ios.h"
#include "protocol/Commands.h"

namespace
{

// I/O type codes of the fixed tables.
constexpr int32_t kDigitalOutput = 1;
constexpr int32_t kBuzzer = 2;
constexpr int32_t kAnalogueOutput = 4;
constexpr int32_t kVariable = 5;
constexpr int32_t kCounter = 7;
constexpr int32_t kFrequency = 8;
constexpr int32_t kPwm = 11;
constexpr int32_t kConfigurable = 12;
constexpr int32_t kTimer = 14;

const std::vector<TFixedIOEntry> kOstra = {
    {0, "[DO01]", "Digital Output 1", kDigitalOutput},
    {1, "[DO02]", "Digital Output 2", kDigitalOutput},
    {2, "[DO03]", "Digital Output 3", kDigitalOutput},
    {3, "[DO04]", "Digital Output 4", kDigitalOutput},
    {4, "[RL01]", "Relay Output 1", kDigitalOutput},
    {5, "[RL02]", "Relay Output 2", kDigitalOutput},
    {6, "[RL03]", "Relay Output 3", kDigitalOutput},
    {7, "[RL04]", "Relay Output 4", kDigitalOutput},
    {8, "[IN01]", "Configurable Input 01", kConfigurable},
    {9, "[IN02]", "Configurable Input 02", kConfigurable},
    {10, "[IN03]", "Configurable Input 03", kConfigurable},
    {11, "[IN04]", "Configurable Input 04", kConfigurable},
    {12, "[IN05]", "Configurable Input 05", kConfigurable},
    {13, "[IN06]", "Configurable Input 06", kConfigurable},
    {14, "[IN07]", "Configurable Input 07", kConfigurable},
    {15, "[IN08]", "Configurable Input 08", kConfigurable},
    {16, "[IN09]", "Configurable Input 09", kConfigurable},
    {17, "[IN10]", "Configurable Input 10", kConfigurable},
    {18, "[IN11]", "Configurable Input 11", kConfigurable},
    {19, "[IN12]", "Configurable Input 12", kConfigurable},
    {20, "[IN13]", "Configurable Input 13", kConfigurable},
    {21, "[IN14]", "Configurable Input 14", kConfigurable},
    {22, "[IN15]", "Configurable Input 15", kConfigurable},
    {23, "[IN16]", "Configurable Input 16", kConfigurable},
    {24, "[IN17]", "Configurable Input 17", kConfigurable},
    {25, "[IN18]", "Configurable Input 18", kConfigurable},
    {26, "[IN19]", "Configurable Input 19", kConfigurable},
    {27, "[IN20]", "Configurable Input 20", kConfigurable},
    {28, "[IN21]", "Configurable Input 21", kConfigurable},
    {29, "[IN22]", "Configurable Input 22", kConfigurable},
    {30, "[BUZ1]", "Buzzer", kBuzzer},
    {31, "[PWM01]", "PWM 1", kPwm},
    {32, "[PWM02]", "PWM 2", kPwm},
    {33, "[PWM03]", "PWM 3", kPwm},
    {34, "[PWM04]", "PWM 4", kPwm},
    {35, "[AO01]", "Analogue Output 1", kAnalogueOutput},
    {36, "[AO02]", "Analogue Output 2", kAnalogueOutput},
    {37, "[AO03]", "Analogue Output 3", kAnalogueOutput},
    {38, "[AO04]", "Analogue Output 4", kAnalogueOutput},
    {39, "[FRQ01]", "Frequency Input 1", kFrequency},
    {40, "[FRQ02]", "Frequency Input 2", kFrequency},
    {41, "[FRQ03]", "Frequency Input 3", kFrequency},
    {42, "[FRQ04]", "Frequency Input 4", kFrequency},
    {43, "[CNT01]", "Counter 1", kCounter},
    {44, "[CNT02]", "Counter 2", kCounter},
    {45, "[CNT03]", "Counter 3", kCounter},
    {46, "[CNT04]", "Counter 4", kCounter},
};

const std::vector<TFixedIOEntry> kVello = {
    {0, "[IN01]", "Configurable Input 01", kConfigurable},
    {1, "[IN02]", "Configurable Input 02", kConfigurable},
    {2, "[IN03]", "Configurable Input 03", kConfigurable},
    {3, "[IN04]", "Configurable Input 04", kConfigurable},
    {4, "[IN05]", "Configurable Input 05", kConfigurable},
    {5, "[IN06]", "Configurable Input 06", kConfigurable},
    {6, "[IN07]", "Configurable Input 07", kConfigurable},
    {7, "[IN08]", "Configurable Input 08", kConfigurable},
    {8, "[PWM01]", "PWM 1", kPwm},
    {9, "[PWM02]", "PWM 2", kPwm},
    {10, "[PWM03]", "PWM 3", kPwm},
    {11, "[PWM04]", "PWM 4", kPwm},
    {12, "[BUZ1]", "Buzzer", kBuzzer},
    {13, "[FRQ01]", "Frequency Input 1", kFrequency},
    {14, "[FRQ02]", "Frequency Input 2", kFrequency},
    {15, "[CNT01]", "Counter 1", kCounter},
    {16, "[CNT02]", "Counter 2", kCounter},
    {17, "[VAR01]", "Variable 1", kVariable},
    {18, "[VAR02]", "Variable 2", kVariable},
    {19, "[VAR03]", "Variable 3", kVariable},
    {20, "[VAR04]", "Variable 4", kVariable},
    {21, "[VAR05]", "Variable 5", kVariable},
    {22, "[VAR06]", "Variable 6", kVariable},
    {23, "[VAR07]", "Variable 7", kVariable},
    {24, "[VAR08]", "Variable 8", kVariable},
    {25, "[VAR09]", "Variable 9", kVariable},
    {26, "[VAR10]", "Variable 10", kVariable},
    {27, "[VAR11]", "Variable 11", kVariable},
    {28, "[VAR12]", "Variable 12", kVariable},
    {29, "[VAR13]", "Variable 13", kVariable},
    {30, "[VAR14]", "Variable 14", kVariable},
    {31, "[VAR15]", "Variable 15", kVariable},
    {32, "[VAR16]", "Variable 16", kVariable},
    {33, "[TMR01]", "Timer 1", kTimer},
    {34, "[TMR02]", "Timer 2", kTimer},
    {35, "[TMR03]", "Timer 3", kTimer},
    {36, "[TMR04]", "Timer 4", kTimer},
    {37, "[TMR05]", "Timer 5", kTimer},
    {38, "[TMR06]", "Timer 6", kTimer},
    {39, "[TMR07]", "Timer 7", kTimer},
    {40, "[TMR08]", "Timer 8", kTimer},
};

const std::vector<TFixedIOEntry> kNone;

} // namespace

const std::vector<TFixedIOEntry> &FixedIOTable(uint8_t unitType)
{
    switch (unitType) {
    case UNIT_TYPE_OSTRA:
        return kOstra;
    case UNIT_TYPE_VELLO:
        return kVello;
    default:
        return kNone;
    }
}

int BuildFixedIOList(TIOs &ios, uint8_t unitType)
{
    // From scratch: no entry of a previously connected model may remain.
    ios.Clear();
    const auto &table = FixedIOTable(unitType);
    for (const TFixedIOEntry &e : table)
        ios.Add(std::make_unique<TIO>(e.Number, QString::fromLatin1(e.Name),
                                      QString::fromLatin1(e.Tag), e.IOType));
    ios.Refresh();
    return static_cast<int>(table.size());
}
