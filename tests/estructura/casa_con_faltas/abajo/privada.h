// What the room below keeps to itself. Within the abajo room only.
#pragma once
