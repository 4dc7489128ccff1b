# Inventory libraries: the engine and the front library export their three
# entry points by plain name at ordinals 1 to 3 (INV_INFO's 429 bytes are a
# static_assert of the build itself).
i=1
for n in Qvad_EmInvInit Qvad_EmInvFile Qvad_EmInvClose; do
  check "qvademinv.dll exports $n at $i" exports_at "$bin/qvademinv.dll" "$n" "$i"
  i=$((i + 1))
done
i=1
for n in Qvad_InvInit Qvad_InvFile Qvad_InvClose; do
  check "qvadinv.dll exports $n at $i" exports_at "$bin/qvadinv.dll" "$n" "$i"
  i=$((i + 1))
done
