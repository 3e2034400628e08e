// What the room below offers.
#pragma once
