-- Prints the frames mpv dropped (by its decoder and by its video output) as DROPPED=N when
-- it exits, and the time from loading the file to its first frame as FIRST_FRAME_MS=N, in the
-- form bench/run.sh reads from every player.
local vo, dec = 0, 0
local started, first = mp.get_time(), nil
mp.register_event("start-file", function() started = mp.get_time() end)
mp.register_event("playback-restart", function()
    if not first then
        first = (mp.get_time() - started) * 1000
        print(string.format("FIRST_FRAME_MS=%d", first))
    end
end)
mp.observe_property("frame-drop-count", "number", function(_, v) if v then vo = v end end)
mp.observe_property("decoder-frame-drop-count", "number", function(_, v) if v then dec = v end end)
mp.register_event("shutdown", function() print(string.format("DROPPED=%d", vo + dec)) end)
