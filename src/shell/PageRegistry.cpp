#include "shell/PageRegistry.h"

PageSet IdentifiedPages(const EncoderCapabilities& caps)
{
    PageSet pages;
    if (caps.datasheetBankKnown)
        pages.set(static_cast<size_t>(PageIndex(PageId::TabEDS)));
    auto show = [&](std::initializer_list<PageId> list) {
        for (PageId p : list)
            pages.set(static_cast<size_t>(PageIndex(p)));
    };
    switch (caps.family) {
    case EncoderFamily::Torvik:
        show({PageId::TabTorvikStatus, PageId::TabTorvikConfig, PageId::tabTorvikCalibration});
        break;
    case EncoderFamily::Quenra:
        show({PageId::tabTorvikCalibration, PageId::tabQuenraConfig, PageId::tabQuenraStatus});
        break;
    case EncoderFamily::Linear:
        show({PageId::TabTorvikStatus, PageId::TabTorvikConfig});
        break;
    case EncoderFamily::Unidentified:
        break;
    }
    return pages;
}
