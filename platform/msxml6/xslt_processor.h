// IXSLProcessor: runs one compiled style sheet on a DOM input and delivers
// the result to a DOM document or a stream. A stream is used for one
// transformation and released as soon as it is written.
#pragma once

#include <memory>
#include <string>

#include "platform/msxml6/xslt_common.h"
#include "platform/msxml6/xslt_sheet.h"

namespace mx {

class XslProcessor final : public ComObject<IXSLProcessor, IID_IXSLProcessor> {
public:
    explicit XslProcessor(std::shared_ptr<CompiledSheet const> sheet);

    HRESULT put_input(VARIANT input) override;
    HRESULT put_output(VARIANT output) override;
    HRESULT transform(VARIANT_BOOL* done) override;

private:
    DocPtr run(xmlNodePtr input);
    HRESULT deliver(DocPtr result);
    void abandonStream();

    std::shared_ptr<CompiledSheet const> sheet_;
    ComPtr<IUnknown> input_;
    ComPtr<IUnknown> outputDocument_;  // at most one of the two
    ComPtr<IStream> outputStream_;
};

}  // namespace mx
