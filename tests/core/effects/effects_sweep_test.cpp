// Every auto-create tab on pictures of several sizes (one pixel, one pixel
// wide, odd sizes), palettes (full, partial, with repeated entries) and
// positions in the random sequence, run through the Create command. The
// digests of all frames (size, palette, pixels) and of all grid rows were
// recorded from the straightforward implementation; any change to the pixels
// an effect makes, however it is computed, shows up here.
#include "autocreate/createcommand.h"
#include "document/document.h"
#include "support/frames.h"

#include <QCryptographicHash>

#include <gtest/gtest.h>

#include <string>

namespace velmar::autocreate
{
namespace
{

struct Setup {
    int width, height;
    int palette; // 0 greys, 1 ramp, 2 sixteen entries with repeats, 3 the default table
    int nColors;
    int draws; // values taken from the random sequence before the effect
    const char *count;
    bool paletteColours; // colour settings by palette number instead of black / white
};

constexpr Setup kSetups[] = {
    {1, 1, 0, 256, 0, "3", false},     {1, 7, 1, 256, 5, "4", true},    {13, 2, 2, 16, 17, "5", false},
    {23, 17, 2, 16, 1, "4.5", true},   {41, 29, 0, 200, 3, "7", false}, {64, 45, 3, 256, 1000, "6", true},
    {160, 97, 1, 256, 40, "9", false},
};
constexpr int kSetupCount = int(std::size(kSetups));

ColorTable palette(int kind, int seed)
{
    if (kind == 0)
        return test::greys();
    if (kind == 1)
        return test::rampPalette(seed);
    if (kind == 3)
        return defaultColorTable();
    // Entries repeat every six, so several indices tie for most colours.
    ColorTable t = test::rampPalette(seed * 5);
    for (size_t k = 6; k < 256; ++k)
        t[k] = t[k % 6 + (k / 12 % 2) * 6];
    return t;
}

// Gradients, noise and patches of the top-left colour.
std::vector<uint8_t> picture(int w, int h, int nColors, uint32_t seed)
{
    std::vector<uint8_t> px(size_t(w) * size_t(h));
    uint32_t x = seed * 2654435761u + 1;
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) {
            x = x * 1664525u + 1013904223u;
            const uint32_t v = (r * r + 3 * c) / 5 + (x >> 29);
            px[size_t(r) * size_t(w) + size_t(c)] = uint8_t(v % uint32_t(nColors));
        }
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c)
            if ((c * 3 + r) % 7 == 0 || (c > w / 3 && c < w / 2))
                px[size_t(r) * size_t(w) + size_t(c)] = px[0];
    return px;
}

// Windows 0 and 1 share size and palette; window 2 is larger with its own palette.
void addWindows(Document &doc, const Setup &s)
{
    const ColorTable own = palette(s.palette, 1);
    test::addFrame(doc, s.width, s.height, picture(s.width, s.height, s.nColors, 1), s.nColors, own);
    test::addFrame(doc, s.width, s.height, picture(s.width, s.height, s.nColors, 2), s.nColors, own);
    test::addFrame(doc, s.width + 3, s.height + 1, picture(s.width + 3, s.height + 1, 256, 3), 256,
                   palette(1, s.palette + 4));
}

FieldValues fieldsFor(int tab, const Setup &s)
{
    FieldValues f = initialFields(tab);
    auto set = [&](const char *name, const QString &value) { EXPECT_TRUE(setField(tab, f, name, value)) << name; };
    set("txtSumFraNum", QString::fromLatin1(s.count));
    const QString second = QStringLiteral("1"), third = QStringLiteral("2");
    switch (tab) {
    case 0:
        set("txtDivX", QString::number(std::min(s.width, 5)));
        set("txtDivY", QString::number(std::min(s.height, 3)));
        break;
    case 2:
        set("txtToWinNo", second);
        break;
    case 4:
    case 5: {
        const char *names[2][2] = {{"txtMasWinB", "txtMasWinC"}, {"txtMasWinE", "txtMasWinF"}};
        set(names[tab - 4][0], second);
        set(names[tab - 4][1], third);
        break;
    }
    case 6:
        if (s.paletteColours) {
            set("optYokohabaShitei", QStringLiteral("1"));
            set("txtYokohaba", QString::number((s.width + 1) / 2));
        }
        break;
    case 10:
        set("txtMasterWindow2", second);
        break;
    default:
        break;
    }
    if (s.paletteColours)
        for (const ColourSetting &c : tabDescriptors()[size_t(tab)].colours) {
            set(c.presetOption.toLatin1().constData(), QStringLiteral("0"));
            set(c.paletteField.toLatin1().constData(), QString::number(3 + c.paletteField.size() % 5));
        }
    return f;
}

struct Digests {
    std::string frames, grid;
};

Digests run(int tab, const Setup &s)
{
    Document doc;
    addWindows(doc, s);
    for (int k = 0; k < s.draws; ++k)
        doc.rnd().next();
    FieldValues fields = fieldsFor(tab, s);
    const QString result = Create(doc, tab, fields).error();

    QCryptographicHash frames(QCryptographicHash::Sha256), grid(QCryptographicHash::Sha256);
    frames.addData(result.toUtf8());
    for (int i = 0; i < doc.picCount(); ++i) {
        const PicInfo &p = doc.pic(i);
        const int32_t header[3] = {p.lWidth, p.lHeight, p.nColors};
        frames.addData(QByteArrayView(reinterpret_cast<const char *>(header), sizeof header));
        frames.addData(QByteArrayView(reinterpret_cast<const char *>(p.colors.data()), sizeof p.colors));
        frames.addData(QByteArrayView(reinterpret_cast<const char *>(p.bits.data()), qsizetype(p.pixelCount())));
    }
    for (int r = 0; r < doc.grid().Rows(); ++r) {
        for (int c = 0; c < doc.grid().Cols(); ++c)
            grid.addData((doc.grid().TextMatrix(r, c) + QLatin1Char('|')).toUtf8());
        grid.addData("\n");
    }
    return {frames.result().toHex().toStdString(), grid.result().toHex().toStdString()};
}

// [tab][setup]: digest of the frames, then of the grid rows.
const char *const kExpected[kTabCount][kSetupCount][2] = {
    {
        // tab 0
        {"7a1c45b46439652fee2d213e585a3232fb973689da28c415005d404fe951f759",
         "7a50a589fb83bdc2ab6744bdf737d146a0663c3a131312f8f979f340bde180e6"},
        {"2e6ba0f3beb0adcfb9b58cda860729e3d4cc9c371b9ea7c40447020b728a3a93",
         "118807e7a19c71c499e9115ff0b1687d4e81af3401ed5aa75d25dd19f4ea3b73"},
        {"7ed4b8efa9293e8791627e6b4e5ce2bb581cb705f45abbc1895b7c6a95455765",
         "f9b70240415b4f39d94ba61395cc81e6de3c9fb1283befed10c4472d94622120"},
        {"0fcc3b189a408f32b205e3e9b3e0dc0af054a7ef2fbcb173263a77684db69f51",
         "5465d2d956c00ddbc321e0b48bb8742230600823bf465712018f23b52b4552ef"},
        {"8ce1d9fb99ee05152a2c206f41cb7a2a12d9486887c669b9aad02dcb054217af",
         "d4f31c1ba49bc556f72ca310e9a176ecede85171ff86f4cdbfe5ed7f79c5d00b"},
        {"819dad11c3ff45e4c8364de0b06eb3522474f7f9fd15c0ef3a042fc860eaa1b4",
         "15a7c7e1f1f86b4ac1ec6b55151342fb14c4a7e10d6d370e8c6fea7921726780"},
        {"0012e1dd97377e40e31dd0b4df43ed982ddc0368e5fbe12e526ebd22d8b11018",
         "33d0ebe0918b8a935ee5c840f3a7e26f20947911939c44a14f42baaee6de96be"},
    },
    {
        // tab 1
        {"7a1c45b46439652fee2d213e585a3232fb973689da28c415005d404fe951f759",
         "7a50a589fb83bdc2ab6744bdf737d146a0663c3a131312f8f979f340bde180e6"},
        {"f22b7c94e083955fb62f8a39258a47efdd93a92ad3b4c1bc381be44befc73698",
         "118807e7a19c71c499e9115ff0b1687d4e81af3401ed5aa75d25dd19f4ea3b73"},
        {"f00f15014b4bfecb1744d1e9601831164116445a46292526ca940b179e83f282",
         "f9b70240415b4f39d94ba61395cc81e6de3c9fb1283befed10c4472d94622120"},
        {"69a271b6adaf48afd0c1df6d850cf6d8e39ac8157c63e6ab526a9046306435d0",
         "5465d2d956c00ddbc321e0b48bb8742230600823bf465712018f23b52b4552ef"},
        {"b3eef550a5615fa35e995f897bc7ea3f9065975c153a3ad9632200871a5c939b",
         "d4f31c1ba49bc556f72ca310e9a176ecede85171ff86f4cdbfe5ed7f79c5d00b"},
        {"b9158c439f29665a9ea56947074b7725fef84fc38d995a5b122083d914f937ab",
         "15a7c7e1f1f86b4ac1ec6b55151342fb14c4a7e10d6d370e8c6fea7921726780"},
        {"0687cb50773dd3a4f3559c49d9f3f89efd43bee9d91d17e302c11844b3b49911",
         "33d0ebe0918b8a935ee5c840f3a7e26f20947911939c44a14f42baaee6de96be"},
    },
    {
        // tab 2
        {"a87e63e9654d15e5469ae17bbb5f62a426a4923321bf522521b58c5f59090307",
         "8a65749c08a3ed89f8d516757094f1fcf8cbb5019ad7b614e1a74d3d7052aac3"},
        {"e1064ded64bc7c1bff4d8e8672c2c210ec3369cce86aab97b32483506cc14074",
         "e58d3bb5ee7435ce7fec879cf7541debac3c4bc48d01a8cffd47dd23b4ef279d"},
        {"b36f3cfd29a912d16287e9a46433ce0200438acb23fb905fa50cff04e8829867",
         "d00e189e4b6d4580929e7026655c6348e1a375256c5a7a85eee19898db0b4a79"},
        {"e0bed950a8f345b10477a3c246264beb6f8d223e82be60383d4c2e61bce01b51",
         "44fad361f6b6bf5185cc1b3c8036e8fbbbeed0711a298937c5c131c09e345e7a"},
        {"fe5d869a64acef6d1149b920c686e19b477bb3f7b7a70458ffcf008e2df6bac2",
         "aa255841e4c57736b0fd19c50b2a56b072d7ae4fe41885eccf2c56d753dc8d53"},
        {"a0f488ddbb6510c92f90a92c1cc16d77bb1d22912f9744f31c335235df012a03",
         "4484bd21e9c2b511e34fe38524968fabe12b6f672b9f85cd9ee2ef7c6f3cee29"},
        {"4ac1b29178051f5ef16fab5c42479128568c199a2afca71e9b93d4c464a3b958",
         "b0a9d1d330b337e95257a859537fe6c4a84d13099ada675448ec26f2ee46f906"},
    },
    {
        // tab 3
        {"2f54abba36d61712ddb7308c41d069ef1fdd0ae2014cc868d2657b430c5aaf3a",
         "b9b524faa286eacc9ab7844ed0377b45b70810b75d6becedfafa693ec012a392"},
        {"bb752114c342e6958ce5baa5509780886d2bd5c4f143015e592a4bcd6756a3d1",
         "0976af266531a75f8b7003c3034e644f18c78023865968281133b438da07570f"},
        {"4e548fbdf387e496fffc6fa1a40a9ba381523db5f58133da05fab2ff0de4f394",
         "f7fe9517a1ce86de8cc108f73350e5b89c5aaa3ba0810686035c01115766bca3"},
        {"77ca4cd9b9d31800d266ff4056d9f6a6544f666cd9aac808de49f378fbeab6f5",
         "91c516397d4c0b52082cf6582ad5bcf5c939d4cc029197b22927cce850a9f950"},
        {"5ba0bfe6cb8cedc2485dfd41394df424c5abac03ac315550b75baf5a2780dfc1",
         "58524ed464f3c5b307234a28b884e68dd83b6d256f8425af050f68ad561ff1db"},
        {"4667f2da5932421bf720330497795dbf68e0357c5d0aa05d290bcb963e2e1c5f",
         "463e44f8f28ffbb3369fe07589e7084f0a2e58627ac79669156f521299ca676a"},
        {"ebf0d2b333a28f046816e061231a111a76f4e71de24c8f2b708433b839b4b690",
         "46b77420b92360ab18c8705291c7f361d7688ce42d5686b2a1a6c64423f55f4f"},
    },
    {
        // tab 4
        {"b599fb0acead0c0df324676511820d199897157eedc9d611e0532cb6d3c9b37e",
         "d2adc7abf1dec63961a5c4244fd9b6a2a28670363151d728ccaf44d9b47b7332"},
        {"640dd146b94ee070f1bca27c9618a9b6e724384318977258e34b9714e3c20754",
         "49663b044664dcf49d420c7fb0160f5bc9c91eed113a92246200927b2671a1e0"},
        {"ecf597eb8a8dd2a0e8ed1152e189a96c563512c2a18e3e607871d2b92d9d5a93",
         "9328c3a281567f9d6623e14c5c1f601669422160a07cbfbb594c336ce2ac939a"},
        {"53da84606ab6c9948d2dfb83010e8d51ac9b3adaaf7a776f49f61ad75b038289",
         "366211b99a1f00c836a5c168cf1aeb3bb9c1be76c2a7f321ae531bb0485b7fcd"},
        {"d51637288b97d328de335e39331d6466358cbce13c51e16dd0b73b20d82ae0f2",
         "70c2da3485e5c8157d13179d3477f52e4f4c9c649f5e23e9b56aff43acb10ef3"},
        {"9a72bf874bfc64a4b47f82a96ac63b764c3a78e36644f4ebb570a480bb126d1c",
         "5ec5ca036be2be2caee25bfb7058ecfe16b4fd317298f6f61dbabb506a0a0df0"},
        {"4433ae2c2b46c91d97c791d1692183b57c4e9b7992d1907d810f9a6b74cbcd52",
         "c7049c60fe99902bd7117fb7cf49a42ef52265440d36c9a6d8a14400e0fd39a3"},
    },
    {
        // tab 5
        {"2af7ef7ee427ca8f5f669e5794ee338125c42143daa704d5c7dbbc1cee5e1137",
         "ca265298b6f7a7ba93cc53ce90bebf09060101a7beee5a35eb80988195554d97"},
        {"d36d361a541d6c0ba1149621a029f6ecb433ac1e44fdddab4a86cc6d8ba21120",
         "5d1ed402a7afed0f51df1fba5a040b7d4b4e035124cba45e70fd06375dee71a6"},
        {"e44a68cfe9dc7ac7f6b2645a4d919f5a636592f27f7336e7a8434d1dd5df1588",
         "4123c4ac655c1e66bbb39de2261a2de86567dc506285fa166fc7f7eacf6c4a20"},
        {"3158adc29205c809e3ac8dfe954fea245d349f5517ac63ce8aa084190da8f0bc",
         "40bc399c5e763ed9f8def41fee3dabfa2de0b1d609545b4ee793049190cfe6e3"},
        {"39a4cdabe231a0e9a3b99b8f14f538fecc8136f9a5198c456dff7afba66c0ea3",
         "f9354bf339ac002551f3128341e78d98e84b7d02821c796e19ecb759673ca1bf"},
        {"3ad4b7dc8da24fe8f24775b88a2ebacb29e98fb0054f24af69007621177cf84a",
         "8abef1dbfe288597e71bcc1cdfa513509a46d078c4a45a6e26ecffe6318e81be"},
        {"9783a3fe6c1285b1e7965ddc3fcc7dab6b0118d4b78c21980a7b7ff715c99f9f",
         "9f5c42fa709527fda0d2bde60155e025c7877df854349c0952dce105cb8efa81"},
    },
    {
        // tab 6
        {"f435f4e54eadf6d1273266d8fc5e1eefd816d953d4baa76c4e7a37defa0d8403",
         "172e73c476d9170bbc71600ca9a2e07516231720cd2e9a5231d306638737a20e"},
        {"fcc7e050e886ac57c69f83cc8cf262c8a94d03af152d98f49f6f9a302d9c8d42",
         "7e987ae16b59b85085d95716204360487c5c388d2430257ade2d1785053ae455"},
        {"edca0f1cbefa4f201ae68897509ee7b55423e35c06b48c1b0a4be4cab064a5dd",
         "70fb9bece63f3264db5ed1724c2c5159cf14dc6daad2ffdfb57b7ba2df064c72"},
        {"a2b46474c3cb1f5013505dcffbe5a52044730683f568fddda9233f7ea7794742",
         "39816ff0d72d53a1a3bbc5dd0425db17df7606c56e75dfdba0bcdebc10d183e6"},
        {"6ed6711604e615cfcb541451a16c58d5d40b3327b31c0082ac5aa057ac028505",
         "1c002509e6a83b42da2af11171f1abacd5cd81811f68e7f20611e88d490af7ab"},
        {"5c07688edcca5671c8bfc5ad8c84ab232f1d802d211b3bdf003ab71d861db768",
         "492b3aff10668e301d9eda915d2bd76a4f278e6a6897d67d9b92989d94401c27"},
        {"259356ba6d853bb793eadd354eb937768630a72b6520eadcaa1e92348cc5dcda",
         "c6550d2079bb17ff003d8cda8b989a4af409e8eab31b9b73cfe67c7fee065134"},
    },
    {
        // tab 7
        {"8b73c195daacda37999d7ab7f290b81fcf5e4b8b42155a1a6118dc319fbd4ff6",
         "ce143e0cd2b957b3e75bd749173b0cdfb27075c1d2e0a184d3f2867d03248205"},
        {"eadfcd6dadcbe358da01cd0c09c28442dca29dc30c10cc36d69a8376aa700514",
         "27a3513f3d1f7e07ed5001479800a412cf76d025df63edac8a6215284ff39006"},
        {"559a96e6533f85174bd91506a1d3ed55647234bdfdf2793bb56b225fcb6fbd1e",
         "6f0ee0b602152b250371f1adcf957b943e1814c0543ab6dbcf71ca45d17b03d3"},
        {"6468d7ef2d1d6aeb799cf4fa502b7ebdcc4b84439c2bdf74bcc43abd22ba3675",
         "3df976c3bbfe62d3d51fad97ea711c7d1d8f4b3168ac2c84ca04208bccdf5290"},
        {"2ca9e69309141424af473191a85d4f7fbd128b90d351784e3ae3fd3263a819a5",
         "09632b890d09f0713be316d313b56a75d619073d73bfcd10022fd4e0fa2c8cc7"},
        {"cecb9da4cddff28c905e5fab59ccad7d8a99b58f111e2a0f090aa0090eb7ca70",
         "295d86b96ea5717610086470d07133f970e34ac8d9f875d9931a236b99263210"},
        {"94fad842f0e4931c97bc67c3c959a19f6ca81e6db03ed7ce2c36a7f3d068d06b",
         "800bafd14454786cdd8aef2f8632e1c33d966f7869dba75540738ac547bd56df"},
    },
    {
        // tab 8
        {"8b73c195daacda37999d7ab7f290b81fcf5e4b8b42155a1a6118dc319fbd4ff6",
         "ce143e0cd2b957b3e75bd749173b0cdfb27075c1d2e0a184d3f2867d03248205"},
        {"eadfcd6dadcbe358da01cd0c09c28442dca29dc30c10cc36d69a8376aa700514",
         "27a3513f3d1f7e07ed5001479800a412cf76d025df63edac8a6215284ff39006"},
        {"af161e4a204889e8dd693b08ab2cc740cc47bf8b5e0654e4c90da57582f3394d",
         "70fb9bece63f3264db5ed1724c2c5159cf14dc6daad2ffdfb57b7ba2df064c72"},
        {"468a81cb0065750cc2aa1e4b0db8bb41363f5748c63faae72d328a22dac6e1d9",
         "2d05cb7eda9077f30c247333fcb91f6f532af66db182f7eb5be48b53b77fd07d"},
        {"822f5c875000e5d9631203a910158088a6d2df0283e02a006a33a1192512b5a1",
         "8b8293954c26064cde9fa1be207a4062198fa0c5d4de16fe71aa5949464969ad"},
        {"7e5988f689c094939c5c66be11eff45a1465473ce58cea8cc819c94a45df6298",
         "42c4b3cc4300a743243ee6c0893cdb7ceba9d963ddebcf9335195b1452332954"},
        {"484488c1c0cac85f7315346d43e286faf2ad9bce7499b56c04c87fe2e1528e89",
         "cf16dacd4d1a6c534b7ae91086c7f7b6aebed81812c39b1be6f87217c2232b90"},
    },
    {
        // tab 9
        {"049d5973dc625890434c8dc76e0742d80411c270eeec12050db102aa0a35079e",
         "cbd65462cec2503b1bf0636133bf893e8077221ab4ff2f1835aef4b816b164fd"},
        {"ac39b31a90b4fadb2d1e0ce54451eeec7f3b73a3b952bbf245e8a37908b6ccec",
         "daf1b66d2640c45daa07d3d465832e7fde3380035ace00692180572fc826917f"},
        {"a2958d108a67e3de5dd598ea8a0f14c99e2988f06ffe151ea1c247f83065a0ba",
         "a1ef9bce55f80dad5bcdbb49a4c9a52c29d4aba9847c8c936b42f4c7c25ff161"},
        {"2625a2efc33a9f5fe45f0ce446b14daa44e951e764dc945e1886d61ff1b34f06",
         "8a2290f4c33aa42b50869afbc7638ab0f6878ff67ba9c4f6d0d93e78f9acd988"},
        {"1a6ccb900f94fab769c4298a91f55d01f7cd7bc26f4ec9b2070cb143daa5f610",
         "54e47476319211833ed2fe2e965f0167ad1e80f54254b03d9921035c3e985e0b"},
        {"5d26b144892f9a91e6aaeb4ef92370bc0ccbcc46e71c0d61f7169792257b8fe5",
         "bb002cc07e6701fae1361d8099695cb8d90cb24f3fce71f1d14d9299968ffb0f"},
        {"49862d137cbedeb2358aedc33f91075402fa63c7322e648d8e447fa9a37cf9ad",
         "995c95312a440c06534fa06164582f5ac6d07ec3d99ce5058a6adbd5426b144e"},
    },
    {
        // tab 10
        {"7770f31f37538b3313090c7da91f913536630beaf8f8069baac3c2b9073aba27",
         "1ba7d7fd5750085752e39352d651ea5e5e6834c198e8dcdeefdb0e6d08fb9fd8"},
        {"5c6743d143e438907af5524ac7484e5fb3d410596719849d6078caf5dfe10d00",
         "470b755fa49565fad6fd93dbcd8c9faf90ebad96df21c4c0b3e5ec1802b093fa"},
        {"61d3b3bcf5209a96ad1bc2b88685f28ed1d37c97f3331064b4cf5185a23022d4",
         "f8d36fad67d4006826ec3d682f37e9b9094c73866b84b98212ec2d6017ad540c"},
        {"fda45e46d193c367652d13e8c27759cf84235d2f41c870cc9021a25185624f29",
         "ae100649471482c4a538bf2902348002a7ed7def4192ee6bbaebb367f55bede6"},
        {"c9ff1baba758603b03be6b61f00a7a52b61e93d1f3b9053776c13c0d28fc956c",
         "e820e054cfb7679a1424886c309f06a1de7836aa89b907d08229fdc3f5e02a20"},
        {"de794e6316ad792873956a110eb8980a3b0f4610c5b3d3e3714946a24cae4871",
         "50855d20c334a1a93fd05cf41501b0277f9a83c94b6ee0c55429f96b07534174"},
        {"1624e5a8f436b051c05624db89964e5c54eedc982201d8dc8e3d598079533539",
         "882443c15982538c3542ae9254658c8ba7d1510390bb4c073f3aad021f07f68e"},
    },
};

class EffectsSweep : public ::testing::TestWithParam<std::tuple<int, int>>
{
};

TEST_P(EffectsSweep, FramesAndGridRowsAreUnchanged)
{
    const auto [tab, setup] = GetParam();
    const Digests d = run(tab, kSetups[setup]);
    EXPECT_EQ(d.frames, kExpected[tab][setup][0]);
    EXPECT_EQ(d.grid, kExpected[tab][setup][1]);
}

INSTANTIATE_TEST_SUITE_P(AllTabs, EffectsSweep,
                         ::testing::Combine(::testing::Range(0, kTabCount), ::testing::Range(0, kSetupCount)));

} // namespace
} // namespace velmar::autocreate
