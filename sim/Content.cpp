#include "sim/Content.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace zsim
{

namespace
{

// UOM categories shared by the available input types and the UOM list.
enum Category : uint8_t {
    CatCurrent = 1,
    CatVoltage = 2,
    CatDigital = 3,
    CatFrequency = 4,
    CatTemperature = 5,
    CatCount = 6,
    CatRegister = 7,
};

// 10 k NTC thermistor, beta 3950: resistance at temperature t (degC).
double NtcOhms(double t)
{
    return 10000.0 * std::exp(3950.0 * (1.0 / (t + 273.15) - 1.0 / 298.15));
}

std::vector<std::pair<float, float>> NtcTable(bool fahrenheit)
{
    std::vector<std::pair<float, float>> pts;
    for (int t = -20; t <= 80; t += 10)
        pts.emplace_back(float(NtcOhms(t)), float(fahrenheit ? t * 1.8 + 32 : t));
    return pts; // X descending
}

Catalogue MakeCatalogue()
{
    Catalogue c;
    c.inputTypes = {
        {1, 20.0f, 4095.0f, 0.0f, 0, false},    // ADC counts to mA
        {2, 10.0f, 4095.0f, 0.0f, 0, false},    // ADC counts to V
        {3, 1.0f, 1.0f, 0.0f, 0, false},        // contact state
        {4, 1000000.0f, 1.0f, 0.0f, 1, false},  // period in us to Hz
        {5, 10000.0f, 4095.0f, 0.0f, 2, false}, // divider counts to ohms
        {6, 1.0f, 1.0f, 0.0f, 0, true},         // pulses
        {7, 1.0f, 10.0f, 0.0f, 0, true},        // register in tenths
        {8, 1.0f, 1.0f, 0.0f, 0, true},         // register as is
    };
    c.available = {
        {1, CatCurrent, true, false, "4-20 mA current loop"},
        {2, CatVoltage, true, false, "0-10 V voltage"},
        {3, CatDigital, true, false, "Digital (volt-free contact)"},
        {4, CatFrequency, true, false, "Frequency"},
        {5, CatTemperature, true, false, "Thermistor 10k NTC"},
        {6, CatCount, false, true, "Pulse counter"},
        {7, CatRegister, false, true, "Modbus register (tenths)"},
        // A name that fills its 50-byte field without a terminator.
        {8, CatRegister, false, true, "Modbus register, unscaled 16/32-bit integer value"},
    };
    c.digital = {
        {100, "Off", "On"},
        {101, "Closed", "Open"},
        {102, "Stopped", "Running"},
        {103, "Normal", "Alarm"},
    };
    c.analogue = {
        {200, "bar", 1, {{4, 0}, {20, 10}}},
        {201, "%", 2, {{4, 0}, {20, 100}}},
        {202, "degC", 0, NtcTable(false)},
        {203, "V", 1, {{0, 0}, {10, 10}}},
        {204, "Hz", 2, {{0, 0}, {10000, 10000}}},
        {205, "m3/h", 1, {{4, 0}, {12, 30}, {20, 100}}},
        {206, "kWh", 1, {{0, 0}, {1, 0.1f}}},
        {207, "l", 1, {{0, 0}, {1, 1}}},
        {208, "rpm", 1, {{0, 0}, {100, 6000}}},
        {209, "m", 2, {{0, 0}, {10, 4.5f}}},
        {211, "%", 2, {{0, 0}, {100, 100}}},
        {212, "mA", 1, {{0, 0}, {20, 20}}},
        {213, "units", 1, {{0, 0}, {1, 1}}},
        {214, "l/s", 0, {{4, 0}, {8, 2}, {12, 6}, {16, 12}, {20, 20}}},
        {216, "s", 1, {{0, 0}, {1, 1}}},
        {217, "V", 2, {{0, 0}, {500, 500}}},
        {218, "A", 1, {{0, 0}, {100, 100}}},
        {219, "kW", 1, {{0, 0}, {1000, 1}}},
        {221, "m3/h", 2, {{0, 0}, {1000, 1000}}},
        {222, "degC", 1, {{0, 0}, {100, 100}}},
        {230, "psi", 1, {{4, 0}, {20, 145.04f}}},
        {232, "degF", 0, NtcTable(true)},
    };
    c.descriptions = {
        {100, CatDigital, "Off / On"},
        {101, CatDigital, "Closed / Open"},
        {102, CatDigital, "Stopped / Running"},
        {103, CatDigital, "Normal / Alarm"},
        {200, CatCurrent, "Pressure, bar (0-10)"},
        {201, CatCurrent, "Level, %"},
        {205, CatCurrent, "Flow, m3/h"},
        {212, CatCurrent, "Current, mA"},
        {214, CatCurrent, "Weir flow, l/s"},
        {230, CatCurrent, "Pressure, psi"},
        {203, CatVoltage, "Voltage, V"},
        {209, CatVoltage, "Depth, m"},
        {204, CatFrequency, "Frequency, Hz"},
        {208, CatFrequency, "Speed, rpm"},
        {202, CatTemperature, "Temperature, degC"},
        {232, CatTemperature, "Temperature, degF"},
        {206, CatCount, "Energy, kWh"},
        {207, CatCount, "Volume, l"},
        {216, CatCount, "Time, s"},
        {211, CatRegister, "Percent"},
        {213, CatRegister, "Units"},
        {217, CatRegister, "Mains voltage, V"},
        {218, CatRegister, "Current, A"},
        {219, CatRegister, "Power, kW"},
        {221, CatRegister, "Flow, m3/h"},
        {222, CatRegister, "Temperature, degC"},
        {0, CatRegister, ""}, // no unit: an empty name
    };
    return c;
}

std::string Tag6(const std::string &t)
{
    std::string s = t.substr(0, 6);
    s.resize(6, ' ');
    return s;
}

std::string Two(int n)
{
    char b[8];
    std::snprintf(b, sizeof b, "%02d", n);
    return b;
}

// A configurable input: what is wired to it.
struct Sensor {
    const char *name;
    uint8_t inputType;
    int32_t uom;
    Wave wave;
    double base, amp, period;
};

const Sensor kSensors[] = {
    {"Inlet pressure", 1, 200, Wave::Sine, 4.0, 1.5, 60},
    {"Reservoir level", 1, 201, Wave::Sine, 55, 20, 120},
    {"Pump house temperature", 5, 202, Wave::Sine, 21, 4, 300},
    {"Supply voltage", 2, 203, Wave::Sine, 7.2, 0.2, 45},
    {"Outlet flow", 1, 205, Wave::Sine, 40, 25, 90},
    {"Door contact", 3, 101, Wave::Toggle, 0, 0, 20},
    {"Weir flow", 1, 214, Wave::Sine, 10, 4, 75},
    {"Borehole depth", 2, 209, Wave::Sine, 2.5, 0.5, 200},
    {"Intruder alarm", 3, 103, Wave::Toggle, 0, 0, 45},
    {"Discharge pressure", 1, 230, Wave::Sine, 60, 10, 50},
    {"Chamber temperature", 5, 232, Wave::Sine, 64, 6, 240},
};
constexpr int kSensorCount = int(sizeof kSensors / sizeof kSensors[0]);

// Friendly names with odd lengths: empty, one character, and a long one.
std::string InputName(int index)
{
    if (index == 5)
        return "";
    if (index == 9)
        return "P";
    if (index == 12)
        return "Raw water storage tank number two, north side of the site, lower level";
    const Sensor &s = kSensors[index % kSensorCount];
    return index < kSensorCount ? s.name : std::string(s.name) + " " + std::to_string(index + 1);
}

const uint8_t kLogging[] = {0x05, 0x06, 0x00, 0x04, 0x05, 0x01};

Channel Input(int number, int index)
{
    const Sensor &s = kSensors[index % kSensorCount];
    Channel c;
    c.number = number;
    c.tag = Tag6("IN" + Two(index + 1));
    c.name = InputName(index);
    c.inputType = s.inputType;
    c.uomId = s.uom;
    c.wave = s.wave;
    c.base = s.base;
    c.amp = s.amp;
    // Spread the periods so that the inputs do not move in step.
    c.period = s.period + 7 * (index / kSensorCount);
    c.logging = kLogging[index % 6];
    return c;
}

Channel Make(int number, const std::string &tag, const std::string &name, uint8_t it, int32_t uom,
             Wave w, double base, double amp = 0, double period = 60, uint8_t logging = 0x05)
{
    Channel c;
    c.number = number;
    c.tag = tag.empty() ? std::string() : Tag6(tag);
    c.name = name;
    c.inputType = it;
    c.uomId = uom;
    c.wave = w;
    c.base = base;
    c.amp = amp;
    c.period = period;
    c.logging = logging;
    return c;
}

std::vector<Channel> ExternalChannels()
{
    std::vector<Channel> e;
    auto add = [&](const char *name, uint8_t mt, uint8_t slave, uint8_t it, int32_t uom, Wave w,
                   double base, double amp, double period, uint8_t logging) {
        int n = int(e.size()) + 1;
        Channel c = Make(n, "EXT" + std::string(n < 10 ? "00" : "0") + std::to_string(n), name, it,
                         uom, w, base, amp, period, logging);
        c.modbusType = mt;
        c.slave = slave;
        e.push_back(c);
    };
    add("Mains voltage L1", 2, 1, 7, 217, Wave::Sine, 231, 3, 40, 0x05);
    add("Mains voltage L2", 2, 1, 7, 217, Wave::Sine, 229, 3, 47, 0x05);
    add("Phase current L1", 2, 1, 7, 218, Wave::Sine, 18, 6, 30, 0x06);
    add("Active power", 4, 1, 8, 219, Wave::Sine, 12, 4, 30, 0x05);
    add("Energy import", 4, 1, 8, 206, Wave::Count, 15230, 0.05, 1, 0x05);
    add("Flow rate", 2, 2, 7, 221, Wave::Sine, 85, 20, 60, 0x04);
    add("Flow totaliser", 3, 2, 8, 207, Wave::Count, 987650, 20, 1, 0x05);
    add("Pump run status", 1, 3, 3, 102, Wave::Toggle, 0, 0, 30, 0x06);
    add("Pump fault", 1, 3, 3, 103, Wave::Const, 0, 0, 60, 0x05);
    add("Tank temperature", 2, 9, 7, 222, Wave::Const, 0, 0, 60, 0x00); // slave 9 is not listed
    add("Inverter speed", 2, 3, 7, 208, Wave::Sine, 1450, 40, 25, 0x06);
    add("Pressure set-point", 2, 3, 8, 211, Wave::Const, 65, 0, 60, 0x01);
    return e;
}

double Interp(double x, double x0, double y0, double x1, double y1)
{
    if (x1 == x0)
        return y0;
    return y0 + (x - x0) * (y1 - y0) / (x1 - x0);
}

} // namespace

const Catalogue &TheCatalogue()
{
    static const Catalogue c = MakeCatalogue();
    return c;
}

const InputTypeFormula *Catalogue::InputType(int id) const
{
    for (const auto &t : inputTypes)
        if (t.id == id)
            return &t;
    return nullptr;
}
const DigitalUom *Catalogue::Digital(int32_t id) const
{
    for (const auto &u : digital)
        if (u.id == id)
            return &u;
    return nullptr;
}
const AnalogueUom *Catalogue::Analogue(int32_t id) const
{
    for (const auto &u : analogue)
        if (u.id == id)
            return &u;
    return nullptr;
}

const std::vector<ModbusSlave> &ModbusSlaves()
{
    static const std::vector<ModbusSlave> s = {
        {1, "Energy meter EM-340"},
        {2, "Electromagnetic flow meter"},
        {3, "Pump inverter"},
    };
    return s;
}

Plant BuildPlant(Model m)
{
    Plant p;
    p.model = m;
    if (m == Model::Ostra) {
        p.unitType = 2;
        p.ownRecords = 54;
        p.externalBase = 82;
        for (int i = 0; i < 4; ++i) {
            auto c = Make(i, "DO" + Two(i + 1), "Digital output " + std::to_string(i + 1), 3, 100,
                          i == 0 ? Wave::Toggle : Wave::Const, i == 3 ? 1 : 0, 0, 7 + 4 * i);
            c.isDigitalOutput = true;
            p.own.push_back(c);
        }
        for (int i = 0; i < 4; ++i) {
            auto c = Make(4 + i, "RL" + Two(i + 1), "Relay " + std::to_string(i + 1), 3, 101,
                          i == 1 ? Wave::Toggle : Wave::Const, 0, 0, 13);
            c.isDigitalOutput = true;
            p.own.push_back(c);
        }
        for (int i = 0; i < 22; ++i)
            p.own.push_back(Input(8 + i, i));
        p.own.push_back(Make(30, "BUZ1", "Buzzer", 3, 100, Wave::Const, 0));
        const double duty[] = {25, 50, 0, 100};
        for (int i = 0; i < 4; ++i)
            p.own.push_back(Make(31 + i, "PWM" + Two(i + 1), "Dosing pump " + std::to_string(i + 1),
                                 7, 211, Wave::Const, duty[i], 0, 60, 0x06));
        const double ma[] = {4, 12, 20, 8.5};
        for (int i = 0; i < 4; ++i)
            p.own.push_back(Make(35 + i, "AO" + Two(i + 1),
                                 "Valve position " + std::to_string(i + 1), 1, 212, Wave::Const,
                                 ma[i], 0, 60, 0x04));
        p.own.push_back(Make(39, "FRQ01", "Mains frequency", 4, 204, Wave::Sine, 50, 0.1, 30));
        p.own.push_back(Make(40, "FRQ02", "Fan speed", 4, 208, Wave::Sine, 1450, 30, 40));
        p.own.push_back(Make(41, "FRQ03", "Impeller speed", 4, 208, Wave::Sine, 2900, 50, 50));
        p.own.push_back(Make(42, "FRQ04", "Vibration", 4, 204, Wave::Sine, 120, 5, 20, 0x00));
        p.own.push_back(Make(43, "CNT01", "Energy meter pulses", 6, 206, Wave::Count, 4521.3, 0.2));
        p.own.push_back(Make(44, "CNT02", "Water meter pulses", 6, 207, Wave::Count, 120540, 2));
        p.own.push_back(Make(45, "CNT03", "Rain gauge", 6, 207, Wave::Count, 0, 0.01));
        p.own.push_back(Make(46, "CNT04", "Spare counter", 6, 207, Wave::Const, 0, 0, 60, 0x00));
        // Records 47..53 have no I/O on this model.
        for (int n = 47; n < 54; ++n)
            p.own.push_back(Make(n, "", "", 0, 0, Wave::Const, 0));
    } else {
        p.unitType = 3;
        p.ownRecords = 41;
        p.externalBase = 44;
        for (int i = 0; i < 8; ++i)
            p.own.push_back(Input(i, i));
        const double duty[] = {30, 0, 75, 100};
        for (int i = 0; i < 4; ++i)
            p.own.push_back(Make(8 + i, "PWM" + Two(i + 1), "Heater " + std::to_string(i + 1), 7,
                                 211, Wave::Const, duty[i], 0, 60, 0x06));
        p.own.push_back(Make(12, "BUZ1", "Buzzer", 3, 100, Wave::Const, 0));
        p.own.push_back(Make(13, "FRQ01", "Mains frequency", 4, 204, Wave::Sine, 50, 0.1, 30));
        p.own.push_back(Make(14, "FRQ02", "Pump speed", 4, 208, Wave::Sine, 1480, 20, 40));
        p.own.push_back(Make(15, "CNT01", "Energy meter pulses", 6, 206, Wave::Count, 872.4, 0.2));
        p.own.push_back(Make(16, "CNT02", "Water meter pulses", 6, 207, Wave::Count, 45120, 1.5));
        for (int i = 0; i < 16; ++i)
            p.own.push_back(Make(17 + i, "VAR" + Two(i + 1), "Variable " + std::to_string(i + 1), 8,
                                 213, Wave::Const, 10.0 * i, 0, 60, 0x06));
        for (int i = 0; i < 8; ++i)
            p.own.push_back(Make(33 + i, "TMR" + Two(i + 1), "Timer " + std::to_string(i + 1), 8,
                                 216, i < 2 ? Wave::Ramp : Wave::Const, 0, i < 2 ? 600 : 0,
                                 600 * (i + 1), 0x00));
    }
    p.external = ExternalChannels();
    return p;
}

double EngineeringAt(const Channel &c, double t)
{
    constexpr double kPi = 3.14159265358979323846;
    switch (c.wave) {
    case Wave::Const:
        return c.base;
    case Wave::Sine:
        return c.base + c.amp * std::sin(2 * kPi * t / c.period + c.number);
    case Wave::Ramp:
        return c.base + c.amp * std::fmod(t, c.period) / c.period;
    case Wave::Toggle:
        return std::fmod(std::floor(t / c.period) + c.number, 2.0);
    case Wave::Count:
        return c.base + c.amp * t;
    }
    return c.base;
}

uint32_t RawFor(int inputType, int32_t uomId, double eng, uint32_t maxRaw)
{
    const Catalogue &cat = TheCatalogue();
    // Undo the UOM table: find the segment whose Y range holds eng.
    double v = eng;
    if (const AnalogueUom *u = cat.Analogue(uomId); u && u->points.size() >= 2) {
        const auto &p = u->points;
        size_t seg = 0;
        for (size_t i = 0; i + 1 < p.size(); ++i) {
            double lo = std::min(p[i].second, p[i + 1].second);
            double hi = std::max(p[i].second, p[i + 1].second);
            seg = i;
            if (eng >= lo && eng <= hi)
                break;
        }
        v = Interp(eng, p[seg].second, p[seg].first, p[seg + 1].second, p[seg + 1].first);
    }
    // Undo the input type.
    double x = v;
    if (const InputTypeFormula *f = cat.InputType(inputType)) {
        double m = f->multiplier, d = f->divisor, o = f->offset;
        switch (f->kind) {
        case 0:
            x = m != 0 ? (v - o) * d / m : 0;
            break;
        case 1:
            x = (v - o) != 0 && d != 0 ? m / ((v - o) * d) : 0;
            break;
        case 2:
            x = (m + v) != 0 ? v * d / (m + v) : 0;
            break;
        default:
            break;
        }
    }
    if (!(x > 0))
        return 0;
    if (x >= double(maxRaw))
        return maxRaw;
    return uint32_t(std::lround(x));
}

double Convert(int inputType, int32_t uomId, uint32_t raw)
{
    const Catalogue &cat = TheCatalogue();
    double x = raw;
    if (const InputTypeFormula *f = cat.InputType(inputType)) {
        double m = f->multiplier, d = f->divisor, o = f->offset;
        switch (f->kind) {
        case 0:
            x = x * m / d + o;
            break;
        case 1:
            x = m / (x * d) + o;
            break;
        case 2:
            x = x * m / (d - x);
            break;
        default:
            break;
        }
    }
    const AnalogueUom *u = cat.Analogue(uomId);
    if (!u || u->points.size() < 2)
        return x;
    const auto &p = u->points;
    bool asc = p[0].first < p[1].first;
    auto before = [&](double a, double b) { return asc ? a < b : a > b; };
    // Inside when first <= x < last in the table's direction.
    if (!before(x, p.front().first) && before(x, p.back().first)) {
        for (size_t i = 0; i + 1 < p.size(); ++i)
            if (!before(x, p[i].first) && before(x, p[i + 1].first))
                return Interp(x, p[i].first, p[i].second, p[i + 1].first, p[i + 1].second);
    }
    bool low = before(x, p.front().first);
    switch (u->outOfRange) {
    case 1:
        return low ? Interp(x, p[0].first, p[0].second, p[1].first, p[1].second)
                   : Interp(x, p[p.size() - 2].first, p[p.size() - 2].second, p.back().first,
                            p.back().second);
    case 2:
        return low ? p.front().second : p.back().second;
    default:
        return std::numeric_limits<double>::quiet_NaN();
    }
}

} // namespace zsim
