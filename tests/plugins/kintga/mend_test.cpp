// The 16-bit grey-plus-alpha layout and the attributes types of the
// extension area.
#include "tga_fixture.h"
#include "tga_mends.h"

using namespace kintest;

TEST_F(Tga, GreyAlphaAndAttributesTypes) {
    for (const tgamend::Case &c : tgamend::cases()) {
        const Opened o = open(reader(), tgamend::with_footer(c.file(), c.footer));
        ASSERT_EQ(o.status, 0) << c.name;
        for (int x = 0; x < 3; ++x)
            EXPECT_PIXEL(pix(o.image, x, 0), c.want[x]) << c.name << " footer " << c.footer << x;
    }
}
