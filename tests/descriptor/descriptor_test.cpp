// Reading the XML-form descriptor: variant selection, the property table and
// value resolution, and the build-level accessors. Runs natively under the
// sanitizers and under Wine.
#include "descriptor/descriptor.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>

namespace {

const std::string kDescriptor =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<?zyn version=\"2.1\"?>\n"
    "<build id=\"B1\" href=\"http://example.invalid/b1\" keyname=\"KEYNAME\">\n"
    " <zyn id=\"OTHER\"/>\n"
    " <zyn id=\"DORSEL\" downlevel=\"DL\">\n"
    "  <category>Tools</category>\n"
    "  <names method=\"LANGUAGE\" default=\"en\">\n"
    "   <item id=\"0407\"><data id=\"OTHER\">nur anders</data></item>\n"
    "   <item id=\"0007\"><data id=\"TITLE\">Paketverwaltung</data></item>\n"
    "   <item id=\"en\"><data id=\"FIRST\">first</data><data id=\"TITLE\">Package Manager</data></item>\n"
    "  </names>\n"
    "  <nodefault method=\"LANGUAGE\"><item id=\"0409\"><data>x</data></item></nodefault>\n"
    "  <lowercase method=\"language\" default=\"en\"><item id=\"en\"><data>x</data></item></lowercase>\n"
    "  <longdefault method=\"LANGUAGE\" default=\"0123456789\"><item id=\"012345678\">"
    "<data>cut</data></item><item id=\"0123456789\"><data>whole</data></item></longdefault>\n"
    "  <bios method=\"BIOSID\" default=\"d\"><item id=\"\"><data>empty id</data></item>"
    "<item id=\"d\"><data>default</data></item></bios>\n"
    "  <loop method=\"LANGUAGE\" default=\"en\"><item id=\"en\"><data id=\"V\">"
    "<gd zynpath=\"loop\">V</gd></data></item></loop>\n"
    "  <xrelease order=\"alpha beta gamma\">\n"
    "   <release id=\"RELEASE\">\n"
    "    <title><gd zynpath=\"names\">TITLE</gd></title>\n"
    "    <version>3.00.0000</version>\n"
    "    <device><![CDATA[raw &amp; <b>]]></device>\n"
    "    <setup form=\"F1\" success=\"S1\">plain setup</setup>\n"
    "    <setup method=\"SILENT\" form=\"F2\" success=\"S2\">silent setup</setup>\n"
    "    <uninstall reg=\"\"></uninstall>\n"
    "    <os id=\"9X\">nine</os><os id=\"NT\" type=\"NTTYPE\">nt</os>\n"
    "    <dependency id=\"MMC-3\" bus=\"USB\">mmc</dependency>\n"
    "    <smiflag id=\"KOBIX\">text<a/><b/></smiflag>\n"
    "    <smbiosflag id=\"SW135\"><gd path=\"/build/zyn[@id=DORSEL]/names\">TITLE</gd></smbiosflag>\n"
    "    <lastversion id=\"CRITICAL\"><gd zynpath=\"loop\">V</gd></lastversion>\n"
    "    <dependency id=\"IE\"><gd zynpath=\"names\">MISSING</gd></dependency>\n"
    "   </release>\n"
    "   <release id=\"EMPTY\"><title></title><version>" + std::string(300, 'v') + "</version></release>\n"
    "  </xrelease>\n"
    " </zyn>\n"
    " <file size=\"1234\" crc=\"0x0000ABCD\">dorsel.exe</file>\n"
    " <readme><![CDATA[Read me]]></readme>\n"
    " <title>Build title</title><version>9.9</version>\n"
    " <releaseDate>20261207</releaseDate>\n"
    " <os id=\"9X\">nine</os><os id=\"NT\">nt</os>\n"
    "</build>\n";

class Descriptor : public ::testing::Test {
protected:
    void SetUp() override
    {
        static const std::string text = kDescriptor;
        document = ParseDocument(text.data(), (int32_t)text.size(), 0);
        ASSERT_TRUE(document);
        memset(&machine, 0, sizeof(machine));
        Language(0x0407);
    }
    void TearDown() override { FreeDocument(document); }
    void Language(uint16_t id)
    {
        machine.systemLanguageId = id;
        machine.systemPrimaryLanguage = id & 0x3FF;
    }
    std::string Select(const char *path, const char *dataId, uint32_t size = 260)
    {
        char buffer[260] = {0};
        strcpy(buffer, path);
        return SelectValue(buffer, size, dataId, document, &machine) ? buffer : "<none>";
    }
    std::string Property(const char *key, const char *release = "RELEASE", int defaultResult = 0)
    {
        char output[260];
        memset(output, '#', sizeof(output));
        int result = GetDescriptorProperty(release, key, output, sizeof(output), "DORSEL",
                                           document, &machine, defaultResult);
        if (result == 7)
            return "<default>";
        return result ? std::string(output) : "<none>";
    }
    XmlDocument *document;
    MachineInfo machine;
};

TEST_F(Descriptor, SelectionFallsBackToLessSpecificThenDefault)
{
    const char *names = "/build/zyn[@id=DORSEL]/names";
    // 0407 has no TITLE data: 0007 is chosen.
    EXPECT_EQ(std::string(names) + "/item[@id=0007]/data[@id=TITLE]", Select(names, "TITLE"));
    EXPECT_EQ(std::string(names) + "/item[@id=0407]/data", Select(names, ""));  // first data child
    Language(0x0411);
    EXPECT_EQ(std::string(names) + "/item[@id=en]/data[@id=TITLE]", Select(names, "TITLE"));
    EXPECT_EQ("<none>", Select(names, "NOWHERE"));
    EXPECT_EQ("<none>", Select("/build/zyn[@id=DORSEL]/nodefault", ""));
    EXPECT_EQ("<none>", Select("/build/zyn[@id=DORSEL]/lowercase", ""));
    EXPECT_EQ("<none>", Select("/build/zyn[@id=DORSEL]/category", ""));  // no children
    EXPECT_EQ("<none>", Select(names, "TITLE", 40));  // the extended path would not fit
}

TEST_F(Descriptor, DefaultLongerThanItsSlotIsNeverCut)
{
    // LANGUAGE ids have slots of 10 bytes: a default of ten characters fails
    // rather than selecting the item its first nine characters name.
    Language(0x0411);
    EXPECT_EQ("<none>", Select("/build/zyn[@id=DORSEL]/longdefault", ""));
}

TEST_F(Descriptor, EmptyMachineFieldsChooseAnEmptyIdThenTheDefault)
{
    EXPECT_EQ("/build/zyn[@id=DORSEL]/bios/item[@id=]/data", Select("/build/zyn[@id=DORSEL]/bios", ""));
}

TEST_F(Descriptor, PropertyTable)
{
    EXPECT_EQ("Paketverwaltung", Property("NAME"));
    EXPECT_EQ("Paketverwaltung", Property("name"));
    EXPECT_EQ("3.00.0000", Property("Version"));
    EXPECT_EQ("<none>", Property("TITLE"));           // not a key of the table
    EXPECT_EQ("raw &amp; <b>", Property("DEVICE"));   // a CDATA section stays raw
    EXPECT_EQ("plain setup", Property("SETUP"));
    EXPECT_EQ("silent setup", Property("SETUP.SILENT"));
    EXPECT_EQ("F1", Property("SETUPFORM"));
    EXPECT_EQ("F2", Property("SETUPFORM.SILENT"));
    EXPECT_EQ("S2", Property("SETUP.SILENT.SUCCESS"));
    EXPECT_EQ("", Property("REGVERSION"));            // an empty attribute is a value
    EXPECT_EQ("nine", Property("9X"));
    EXPECT_EQ("NTTYPE", Property("OSTYPE"));
    EXPECT_EQ("USB", Property("MMC-3.BUS"));
    EXPECT_EQ("<none>", Property("SMI.KOBIX"));       // text and two children: no value
    EXPECT_EQ("Paketverwaltung", Property("SMBIOS.SW135"));  // "gd" by "path"
    EXPECT_EQ("<none>", Property("IE"));              // the selection finds nothing
    EXPECT_EQ("<none>", Property("HOTKEY"));          // no such element
}

TEST_F(Descriptor, EmptyAndOverlongValues)
{
    EXPECT_EQ("<default>", Property("NAME", "EMPTY", 7));
    EXPECT_EQ("<none>", Property("NAME", "EMPTY", 0));
    EXPECT_EQ("<none>", Property("VERSION", "EMPTY"));  // 300 characters in 260 bytes
    char output[16];
    memset(output, '#', sizeof(output));
    ASSERT_TRUE(GetDescriptorText("/build/zyn[@id=DORSEL]/xrelease/release[@id=EMPTY]/title", output,
                                  sizeof(output), document, &machine));
    for (char c : output)
        EXPECT_EQ(0, c);  // zero-filled over its whole size
}

TEST_F(Descriptor, IndirectionsThatLeadBackFail)
{
    EXPECT_EQ("<none>", Property("LASTCRITICALUPDATE"));
}

TEST_F(Descriptor, GdPathOverlongFails)
{
    std::string text = "<?xml version=\"1.0\"?><build><zyn id=\"DORSEL\"><xrelease><release id=\"R\">"
                       "<title><gd path=\"/" + std::string(300, 'p') + "\">T</gd></title>"
                       "</release></xrelease></zyn></build>";
    XmlDocument *other = ParseDocument(text.data(), (int32_t)text.size(), 0);
    ASSERT_TRUE(other);
    char output[260];
    EXPECT_EQ(0, GetDescriptorProperty("R", "NAME", output, sizeof(output), "DORSEL", other, &machine, 0));
    FreeDocument(other);
}

TEST_F(Descriptor, Accessors)
{
    char text[260];
    ASSERT_TRUE(GetReleaseOrderEntry(text, sizeof(text), 0, "DORSEL", document));
    EXPECT_STREQ("alpha", text);
    ASSERT_TRUE(GetReleaseOrderEntry(text, sizeof(text), 2, "DORSEL", document));
    EXPECT_STREQ("gamma", text);
    EXPECT_FALSE(GetReleaseOrderEntry(text, sizeof(text), 3, "DORSEL", document));
    EXPECT_FALSE(GetReleaseOrderEntry(text, 4, 1, "DORSEL", document));  // "beta" needs 5
    ASSERT_TRUE(GetPackageIdAt(text, sizeof(text), 1, document));
    EXPECT_STREQ("DORSEL", text);
    EXPECT_FALSE(GetPackageIdAt(text, sizeof(text), 2, document));
    ASSERT_TRUE(GetDescriptorFormatVersion(text, sizeof(text), document));
    EXPECT_STREQ("2.1", text);
    ASSERT_TRUE(GetBuildId(text, sizeof(text), document));
    EXPECT_STREQ("B1", text);
    EXPECT_FALSE(GetBuildId(text, 2, document));
    ASSERT_TRUE(GetBuildHref(text, sizeof(text), document));
    ASSERT_TRUE(GetPackageDownlevel(text, sizeof(text), "DORSEL", document));
    EXPECT_STREQ("DL", text);
    ASSERT_TRUE(GetPackageCategory(text, sizeof(text), "DORSEL", document));
    EXPECT_STREQ("Tools", text);

    char readme[64];
    long size = 0;
    uint32_t crc = 0, date = 0;
    ASSERT_TRUE(GetBuildFileInfo(text, sizeof(text), readme, sizeof(readme), &size, &crc, &date,
                                 document, &machine));
    EXPECT_STREQ("dorsel.exe", text);
    EXPECT_STREQ("Read me", readme);
    EXPECT_EQ(1234, size);
    EXPECT_EQ(0xABCDu, crc);
    EXPECT_EQ(0x20261207u, date);

    char title[64], version[64];
    ASSERT_TRUE(GetBuildTitleVersion(title, sizeof(title), version, sizeof(version), document, &machine));
    EXPECT_STREQ("Build title", title);
    EXPECT_STREQ("9.9", version);

    char key[16], nine[16], nt[16];
    ASSERT_TRUE(GetBuildKeyInfo(key, sizeof(key), nine, sizeof(nine), nt, sizeof(nt), document, &machine));
    EXPECT_STREQ("KEYNAME", key);
    EXPECT_STREQ("nine", nine);
    EXPECT_STREQ("nt", nt);
    EXPECT_FALSE(GetBuildKeyInfo(key, 4, nine, sizeof(nine), nt, sizeof(nt), document, &machine));
}

TEST_F(Descriptor, FileInfoConditions)
{
    const struct {
        const char *file;
        const char *date;
    } failing[] = {
        {"<file size=\"1\" crc=\"ABCD\">f</file>", "20261207"},     // crc without 0x
        {"<file size=\"0\" crc=\"0x1\">f</file>", "20261207"},      // size 0
        {"<file size=\"1\" crc=\"0x1\">f</file>", "2026120"},       // seven characters
        {"<file size=\"1\" crc=\"0x1\">f</file>", "202612070"},     // nine
    };
    for (const auto &c : failing) {
        std::string text = std::string("<?xml version=\"1.0\"?><build>") + c.file +
                           "<readme>r</readme><releaseDate>" + c.date + "</releaseDate></build>";
        XmlDocument *other = ParseDocument(text.data(), (int32_t)text.size(), 0);
        ASSERT_TRUE(other);
        char name[16], readme[16];
        long size;
        uint32_t crc, date;
        EXPECT_FALSE(GetBuildFileInfo(name, sizeof(name), readme, sizeof(readme), &size, &crc, &date,
                                      other, &machine)) << c.file << c.date;
        FreeDocument(other);
    }
}

TEST_F(Descriptor, ReleaseDateOfEightCharactersThatAreNotHex)
{
    const struct {
        const char *date;
        uint32_t value;
    } cases[] = {
        {"zzzzzzzz", 0},            // nothing readable: the date stays 0
        {"2026120z", 0x2026120},    // read up to the first non-hex character
        {"2026-12-", 0x2026},
    };
    for (const auto &c : cases) {
        std::string text = std::string("<?xml version=\"1.0\"?><build><file size=\"1\" crc=\"0x1\">f</file>"
                                        "<readme>r</readme><releaseDate>") + c.date + "</releaseDate></build>";
        XmlDocument *other = ParseDocument(text.data(), (int32_t)text.size(), 0);
        ASSERT_TRUE(other);
        char name[16], readme[16];
        long size;
        uint32_t crc, date = 7;
        EXPECT_TRUE(GetBuildFileInfo(name, sizeof(name), readme, sizeof(readme), &size, &crc, &date,
                                     other, &machine)) << c.date;
        EXPECT_EQ(c.value, date) << c.date;
        FreeDocument(other);
    }
}

TEST_F(Descriptor, MachineValues)
{
    strcpy(machine.typeModel, "1234-ABC");
    const char text[] = "<?xml version=\"1.0\"?><r><pd method=\"MTM2\"/><pd method=\"LANGUAGE\"/>"
                        "<pd method=\"BOGUS\"/><gd path=\"/r/t\">D</gd><plain>own</plain>"
                        "<t method=\"LANGUAGE\" default=\"x\"><item id=\"x\"><data id=\"D\">chosen</data></item></t>"
                        "<gd path=\"/r/none\">D</gd></r>";
    XmlDocument *other = ParseDocument(text, (int32_t)strlen(text), 0);
    ASSERT_TRUE(other);
    XmlNode *root = &other->nodes[1];
    char value[32];
    ASSERT_TRUE(GetMachineValue(&root->children->items[0], value, sizeof(value), other, &machine));
    EXPECT_STREQ("1234ABC", value);
    ASSERT_TRUE(GetMachineValue(&root->children->items[1], value, sizeof(value), other, &machine));
    EXPECT_STREQ("0407", value);
    EXPECT_FALSE(GetMachineValue(&root->children->items[2], value, sizeof(value), other, &machine));
    ASSERT_TRUE(GetMachineValue(&root->children->items[3], value, sizeof(value), other, &machine));
    EXPECT_STREQ("chosen", value);
    ASSERT_TRUE(GetMachineValue(&root->children->items[4], value, sizeof(value), other, &machine));
    EXPECT_STREQ("own", value);
    EXPECT_FALSE(GetMachineValue(&root->children->items[6], value, sizeof(value), other, &machine));
    strcpy(machine.typeModel, "NOHYPHEN");
    EXPECT_FALSE(GetMachineValue(&root->children->items[0], value, sizeof(value), other, &machine));
    FreeDocument(other);
}

} // namespace
