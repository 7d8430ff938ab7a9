# The shared test programs the regression table runs, sourced by
# regression.sh and win_headless.sh: cases=("name|image|options" ...), the
# image relative to the shared test data. Cartridges get a keypad key
# (leaving a menu) and then the joystick and fire held; the Adam packs boot
# at normal drive speed.
menu() { echo "--frames 460 --press $1@250+10 --press right_1@320+120 --press left_button_1@320+120"; }
cases=(
  "aeon|mpagd-sgm-roms/AEON.rom|$(menu key1_1)"
  "testbeep|mpagd-sgm-roms/TESTBEEP.rom|$(menu key1_1)"
  "testcoldist|mpagd-sgm-roms/TESTCOLDIST.rom|--frames 460 --press key9_1@250+120 --press left_button_1@300+60"
  "testjoy|mpagd-sgm-roms/TESTJOY.rom|$(menu key2_1)"
  "testmcsprite|mpagd-sgm-roms/TESTMCSPRITE.rom|$(menu key1_1)"
  "testmusic|mpagd-sgm-roms/TESTMUSIC.rom|$(menu key1_1)"
  "testscroll|mpagd-sgm-roms/TESTSCROLL.rom|$(menu key1_1)"
  "testspeed|mpagd-sgm-roms/TESTSPEED.rom|$(menu key1_1)"
  "baldy|mpagd-sgm-roms/baldy.rom|$(menu key2_1)"
  "dodgy|mpagd-sgm-roms/dodgy.rom|$(menu key1_1)"
  "heroes|mpagd-sgm-roms/heroes.rom|$(menu key2_1)"
  "heroes-pal|mpagd-sgm-roms/heroes.rom|--pal $(menu key2_1)"
  "sgmtst|phoenix-diagnostic-roms/SGMTST.ROM|--frames 400"
  "joytst|phoenix-diagnostic-roms/JOYTST.ROM|$(menu key5_1)"
  "wsgtst|phoenix-diagnostic-roms/WSGTST.ROM|$(menu key1_1)"
  "getput|spaz-attak-getput/getput11demo.rom|$(menu key1_1)"
  "spazmusic|spaz-attak-getput/spaz_test_music.rom|$(menu key1_1)"
  "spazatak|spaz-attak-getput/spazatak.rom|$(menu key1_1)"
  "reversi|adam-ddp-reversi/reversi.ddp|--frames 1700 --press left_1@1500+20 --press left_button_1@1600+10"
  "reversi-text|adam-ddp-reversi/reversi-text.ddp|--frames 1700 --type D3\\n@1550"
  "ade-commander|adam-dsk-ade-commander/boot.dsk|--frames 600"
)
