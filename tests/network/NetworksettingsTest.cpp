#include "network/Networksettings.h"
#include "Samplecatalogue.h"
#include "network/Settingslimits.h"
#include "network/Xmlutil.h"
#include "tests/support/TestUtil.h"

#include <QFile>
#include <gtest/gtest.h>

#include <set>

namespace
{

// Writes `xml` to a fresh file and returns its path.
QString WriteCatalogue(const char *xml)
{
    const QString path = QString::fromStdString(zelvo::test::TempDir()) + "/networks.xml";
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(xml);
    return path;
}

QString LoadFailure(TNetworkSettings &catalogue, const QString &path)
{
    try {
        catalogue.LoadCatalogue(path);
    } catch (const EXMLError &e) {
        return e.Message();
    }
    return QStringLiteral("<loaded>");
}

} // namespace

TEST(TNetworkSettings, LoadCatalogue_InterleavedGroups_LoadsEveryRecordInFileOrder)
{
    TNetworkSettings catalogue;
    ASSERT_TRUE(catalogue.LoadCatalogue(WriteCatalogue(kSample)));

    const auto &countries = catalogue.Countries();
    ASSERT_EQ(countries.size(), 3u);
    EXPECT_EQ(countries[0]->Name(), "First");
    EXPECT_EQ(countries[1]->Name(), "Second");
    EXPECT_EQ(countries[1]->ID(), 2);
    EXPECT_EQ(countries[2]->Name(), "Third");
    EXPECT_EQ(countries[2]->ID(), 3);

    const auto &networks = catalogue.Networks();
    ASSERT_EQ(networks.size(), 4u);
    EXPECT_EQ(networks[0]->Name(), "N-A");
    EXPECT_EQ(networks[1]->Name(), "N-B");
    EXPECT_EQ(networks[2]->Name(), "N-Orphan");
    EXPECT_EQ(networks[3]->Name(), "N-C");
    EXPECT_EQ(networks[3]->CountryID(), 2);
    EXPECT_EQ(networks[3]->APN(), "apn.c");
    EXPECT_EQ(networks[3]->Username(), "uc");
    EXPECT_EQ(networks[3]->Password(), "pc");
    // Present but empty is a value, not a missing attribute.
    EXPECT_EQ(networks[1]->Username(), "");
    EXPECT_EQ(networks[1]->Password(), "");
}

TEST(TNetworkSettings, LoadCatalogue_MissingPassword_StopsNamingItAndKeepsEarlierRecords)
{
    const QString path = WriteCatalogue(R"(<root>
  <countries><country ID="1" name="One"/></countries>
  <networks>
    <network country="1" name="Good" apn="a" username="u" password="p"/>
    <network country="1" name="Bad" apn="a" username="u"/>
    <network country="1" name="Later" apn="a" username="u" password="p"/>
  </networks>
  <countries><country ID="2" name="Two"/></countries>
</root>)");
    TNetworkSettings catalogue;
    EXPECT_EQ(LoadFailure(catalogue, path), "Could not find attribute \"password\" in XML node.");
    ASSERT_EQ(catalogue.Countries().size(), 1u);
    ASSERT_EQ(catalogue.Networks().size(), 1u);
    EXPECT_EQ(catalogue.Networks()[0]->Name(), "Good");
}

TEST(TNetworkSettings, LoadCatalogue_BrokenFiles_FailWithTheirMessage)
{
    struct Row {
        const char *xml;
        const char *message;
    };
    const Row rows[] = {
        {"<Root><countries/></Root>", "Could not find parent tag: root"},
        {"<root><countries><country name=\"A\"/></countries></root>",
         "Could not find attribute \"ID\" in XML node."},
        // Attribute names are case-sensitive.
        {"<root><countries><country id=\"1\" name=\"A\"/></countries></root>",
         "Could not find attribute \"ID\" in XML node."},
        {"<root><countries><country ID=\"1\"/></countries></root>",
         "Could not find attribute \"name\" in XML node."},
        {"<root><networks><n country=\"1\" name=\"N\" username=\"u\" "
         "password=\"p\"/></networks></root>",
         "Could not find attribute \"apn\" in XML node."},
        {"<root><countries><country ID=\"abc\" name=\"A\"/></countries></root>",
         "Could not convert \"abc\" of attribute \"ID\" into an integer."},
        {"<root><countries><country ID=\"1.5\" name=\"A\"/></countries></root>",
         "Could not convert \"1.5\" of attribute \"ID\" into an integer."},
        {"<root><countries><country ID=\"2147483648\" name=\"A\"/></countries></root>",
         "Could not convert \"2147483648\" of attribute \"ID\" into an integer."},
        {"<root><networks><n country=\"\" name=\"N\" apn=\"a\" username=\"u\" "
         "password=\"p\"/></networks></root>",
         "Could not convert \"\" of attribute \"country\" into an integer."},
    };
    for (const Row &row : rows) {
        TNetworkSettings catalogue;
        EXPECT_EQ(LoadFailure(catalogue, WriteCatalogue(row.xml)), row.message) << row.xml;
    }
}

TEST(TNetworkSettings, LoadCatalogue_MissingFileOrMalformedXml_Fails)
{
    TNetworkSettings catalogue;
    const QString missing = QString::fromStdString(zelvo::test::TempDir()) + "/networks.xml";
    EXPECT_EQ(LoadFailure(catalogue, missing), "Could not find XML document : " + missing);
    // A directory of that name is not a document either.
    const QString dir = QString::fromStdString(zelvo::test::TempDir());
    EXPECT_EQ(LoadFailure(catalogue, dir), "Could not find XML document : " + dir);

    for (const char *xml : {"<root><countries></root>", "", "<root><countries><country ID=\"1\""}) {
        const QString message = LoadFailure(catalogue, WriteCatalogue(xml));
        EXPECT_NE(message, "<loaded>") << xml;
        EXPECT_TRUE(message.contains("line")) << message.toStdString();
    }
}

TEST(TNetworkSettings, TryLoadCatalogue_Failure_ReturnsFalseWithMessage)
{
    TNetworkSettings catalogue;
    QString message;
    EXPECT_FALSE(catalogue.TryLoadCatalogue(WriteCatalogue("<top/>"), &message));
    EXPECT_EQ(message, "Could not find parent tag: root");
    EXPECT_FALSE(catalogue.TryLoadCatalogue(WriteCatalogue("<top/>"), nullptr));
    EXPECT_TRUE(catalogue.TryLoadCatalogue(WriteCatalogue(kSample), &message));
}

TEST(TNetworkSettings, LoadCatalogue_Again_ReplacesBothLists)
{
    TNetworkSettings catalogue;
    ASSERT_TRUE(catalogue.LoadCatalogue(WriteCatalogue(kSample)));
    ASSERT_TRUE(catalogue.LoadCatalogue(
        WriteCatalogue(R"(<root><countries><c ID="5" name="Only"/></countries></root>)")));
    ASSERT_EQ(catalogue.Countries().size(), 1u);
    EXPECT_EQ(catalogue.Countries()[0]->Name(), "Only");
    EXPECT_TRUE(catalogue.Networks().empty());
}

TEST(TGPRSNetwork, LoadFromXML_FailsPartWay_KeepsFieldsReadBeforeAndDefaultsAfter)
{
    QDomDocument doc;
    ASSERT_TRUE(doc.setContent(QStringLiteral(R"(<n country=" 7 " name="Net" username="u"/>)")));
    TGPRSNetwork network;
    EXPECT_THROW(network.LoadFromXML(doc.documentElement()), EXMLError);
    EXPECT_EQ(network.CountryID(), 7);
    EXPECT_EQ(network.Name(), "Net");
    EXPECT_EQ(network.APN(), "Unknown");
    EXPECT_EQ(network.Username(), "Unknown");
    EXPECT_EQ(network.Password(), "Unknown");

    TGPRSCountry country;
    EXPECT_THROW(country.LoadFromXML(doc.documentElement()), EXMLError);
    EXPECT_EQ(country.ID(), 0);
    EXPECT_EQ(country.Name(), "Unknown");
}

// The catalogue shipped with the tool.
TEST(ShippedCatalogue, Load_EveryNetworkNamesAnExistingCountryAndFitsTheUnit)
{
    TNetworkSettings catalogue;
    QString message;
    ASSERT_TRUE(catalogue.TryLoadCatalogue(QStringLiteral(ZELVO_SHIPPED_NETWORKS_XML), &message))
        << message.toStdString();

    std::set<int> ids;
    for (const auto &country : catalogue.Countries())
        EXPECT_TRUE(ids.insert(country->ID()).second) << "duplicate ID " << country->ID();
    EXPECT_GE(ids.size(), 9u);

    std::set<int> withNetworks;
    for (const auto &network : catalogue.Networks()) {
        EXPECT_TRUE(ids.count(network->CountryID())) << network->Name().toStdString();
        EXPECT_FALSE(network->APN().isEmpty()) << network->Name().toStdString();
        EXPECT_EQ(FindTooLongSettingsText(network->APN(), network->Username(), network->Password()),
                  STF_NONE)
            << network->Name().toStdString();
        withNetworks.insert(network->CountryID());
    }
    EXPECT_EQ(withNetworks, ids) << "a country without networks";
}
