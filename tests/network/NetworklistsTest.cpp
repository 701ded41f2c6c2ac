// The window's country and network lists filled from the catalogue.
#include "Samplecatalogue.h"

#include "ui/Networklists.h"

#include "network/Gprsnetwork.h"
#include "network/Networksettings.h"
#include "tests/support/TestUtil.h"

#include <QComboBox>
#include <QFile>
#include <QSignalSpy>
#include <gtest/gtest.h>

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

QStringList Texts(const QComboBox &box)
{
    QStringList texts;
    for (int i = 0; i < box.count(); ++i)
        texts << box.itemText(i);
    return texts;
}

} // namespace

TEST(NetworkLists, FillCountryList_NoneFirstThenCountries_LastWithIdOneSelected)
{
    TNetworkSettings catalogue;
    ASSERT_TRUE(catalogue.LoadCatalogue(WriteCatalogue(
        R"(<root><countries><c ID="4" name="A"/><c ID="1" name="B"/><c ID="1" name="C"/>
           <c ID="2" name="D"/></countries></root>)")));
    QComboBox box;
    box.addItems({"-Other", "United Kingdom"});
    box.setCurrentIndex(1);
    QSignalSpy changed(&box, &QComboBox::currentIndexChanged);

    FillCountryList(catalogue, &box);
    EXPECT_EQ(Texts(box), (QStringList{"<None>", "A", "B", "C", "D"}));
    EXPECT_FALSE(box.itemData(0).isValid());
    EXPECT_EQ(box.itemData(1).toInt(), 4);
    EXPECT_EQ(box.currentIndex(), 3);
    EXPECT_EQ(SelectedCountryId(&box), 1);
    EXPECT_EQ(changed.count(), 0);

    box.setCurrentIndex(0);
    EXPECT_EQ(SelectedCountryId(&box), 0);
}

TEST(NetworkLists, FillCountryList_NoCountryWithIdOne_SelectsNothing)
{
    TNetworkSettings catalogue;
    ASSERT_TRUE(catalogue.LoadCatalogue(
        WriteCatalogue(R"(<root><countries><c ID="2" name="A"/></countries></root>)")));
    QComboBox box;
    FillCountryList(catalogue, &box);
    EXPECT_EQ(box.count(), 2);
    EXPECT_EQ(box.currentIndex(), -1);
    EXPECT_EQ(SelectedCountryId(&box), -1);
}

TEST(NetworkLists, FillNetworkList_ByCountry_ListsItsNetworksFirstSelected)
{
    TNetworkSettings catalogue;
    ASSERT_TRUE(catalogue.LoadCatalogue(WriteCatalogue(kSample)));
    QComboBox box;
    QSignalSpy changed(&box, &QComboBox::currentIndexChanged);

    struct Row {
        int countryId;
        QStringList texts;
        int selected;
    };
    const Row rows[] = {
        {2, {"<None>", "N-A", "N-C"}, 1},
        {1, {"<None>", "N-B"}, 1},
        // "<None>" lists every network, those of unknown countries too.
        {0, {"<None>", "N-A", "N-B", "N-Orphan", "N-C"}, 1},
        // A country without networks: only "<None>", nothing selected.
        {3, {"<None>"}, -1},
        // No country selected: an empty list.
        {-1, {}, -1},
    };
    for (const Row &row : rows) {
        FillNetworkList(catalogue, &box, row.countryId);
        EXPECT_EQ(Texts(box), row.texts) << row.countryId;
        EXPECT_EQ(box.currentIndex(), row.selected) << row.countryId;
    }
    EXPECT_EQ(changed.count(), 0);
}

TEST(NetworkLists, SelectedNetwork_ReturnsRecordOrNullForNoneAndNoSelection)
{
    TNetworkSettings catalogue;
    ASSERT_TRUE(catalogue.LoadCatalogue(WriteCatalogue(kSample)));
    QComboBox box;
    FillNetworkList(catalogue, &box, 2);
    EXPECT_EQ(SelectedNetwork(&box), catalogue.Networks()[0].get());
    box.setCurrentIndex(2);
    ASSERT_NE(SelectedNetwork(&box), nullptr);
    EXPECT_EQ(SelectedNetwork(&box)->APN(), "apn.c");
    box.setCurrentIndex(0);
    EXPECT_EQ(SelectedNetwork(&box), nullptr);
    FillNetworkList(catalogue, &box, 3);
    EXPECT_EQ(SelectedNetwork(&box), nullptr);
}

// The catalogue shipped with the tool: the default country and its networks.
TEST(ShippedCatalogue, Lists_DefaultCountrySelectedWithItsFirstNetwork)
{
    TNetworkSettings catalogue;
    QString message;
    ASSERT_TRUE(catalogue.TryLoadCatalogue(QStringLiteral(ZELVO_SHIPPED_NETWORKS_XML), &message))
        << message.toStdString();
    QComboBox countries;
    FillCountryList(catalogue, &countries);
    EXPECT_EQ(countries.currentText(), "United Kingdom");
    QComboBox networks;
    FillNetworkList(catalogue, &networks, SelectedCountryId(&countries));
    EXPECT_GE(networks.count(), 4);
    EXPECT_EQ(networks.currentIndex(), 1);
}
