#include "common/message_target.h"

namespace qarv {

MessageTarget::~MessageTarget() = default;

}  // namespace qarv
