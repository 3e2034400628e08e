// What the room beside offers.
#pragma once
