#pragma once

#include "TestUtil.h"
#include "common/Errormanager.h"

#include <gtest/gtest.h>

#include <QString>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace zelvo::test
{

// Builds little-endian blocks the way the unit sends them.
class TBytes
{
public:
    TBytes &U8(int v)
    {
        Data.push_back(static_cast<uint8_t>(v));
        return *this;
    }
    TBytes &I32(int32_t v)
    {
        const auto u = static_cast<uint32_t>(v);
        for (int i = 0; i < 4; ++i)
            Data.push_back(static_cast<uint8_t>(u >> (8 * i)));
        return *this;
    }
    TBytes &F32(float f)
    {
        uint32_t u;
        std::memcpy(&u, &f, sizeof u);
        return I32(static_cast<int32_t>(u));
    }
    // A fixed-width text field padded with NULs.
    TBytes &Text(const std::string &s, std::size_t width)
    {
        for (std::size_t i = 0; i < width; ++i)
            Data.push_back(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
        return *this;
    }
    TBytes &Raw(const std::string &s)
    {
        Data.insert(Data.end(), s.begin(), s.end());
        return *this;
    }
    TBytes &Append(const TBytes &other)
    {
        Data.insert(Data.end(), other.Data.begin(), other.Data.end());
        return *this;
    }
    std::vector<uint8_t> Data;
};

// Gives the test a global error manager writing to a temporary log, so the
// readers' log lines can be checked.
class TWithErrorLog : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DestroyErrorManager();
        CreateErrorManager(QString::fromStdString(TempDir() + "/Log.txt"));
    }
    void TearDown() override { DestroyErrorManager(); }
    static QString Log() { return ErrorManager()->PendingLog(); }
};

} // namespace zelvo::test
