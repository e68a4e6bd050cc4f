"""Makes the training and held-out audio, offline and seeded: rendered music, speech, drums and
transients, sweeps, noise, silence and level changes, mono, at 96 kHz and (through sox) 192 kHz.

    /usr/bin/python3 tools/model/data.py --out tools/model/data

writes <out>/<rate>/<split>.npz with "audio" (float32, clips end to end) and "starts" (where each
clip begins). Nothing here is kept in the repository but this generator. Held-out material
shares no song, sentence, voice or seed with the training material.

Needs Debian's fluidsynth, fluid-soundfont-gm, openttd-openmsx, espeak-ng, sox and python3-mido.
"""

import argparse
import glob
import os
import subprocess
import tempfile

import mido
import numpy as np
from scipy.io import wavfile

RATE = 96000
SOUNDFONT = "/usr/share/sounds/sf2/FluidR3_GM.sf2"
SONGS = sorted(glob.glob("/usr/share/games/openttd/baseset/openmsx/*.mid"))
SONG_SECONDS = 20.0
HELD_OUT_SONGS = 4           # the last few songs, never trained on

SENTENCES = {
    "train": [
        ("en-us", "The quick brown fox jumps over the lazy dog while the band plays on."),
        ("en-gb", "Bring the vocal forward a little, then push the reverb back behind it."),
        ("de", "Die Stimme steht vorne, das Schlagzeug klingt weit weg im Raum."),
        ("fr", "La voix est proche, et la guitare se perd au fond de la salle."),
        ("es", "Cantamos juntos en la plaza mientras cae la lluvia de la tarde."),
        ("en-us+f3", "Seven silver sparrows sang softly across the shallow stream at sunset."),
    ],
    "test": [
        ("it", "Il pianoforte suona piano, poi la tromba entra forte e chiara."),
        ("en-gb+m3", "Check one two, check one two, the microphone is live now."),
    ],
}

PROGRAMS = [0, 4, 24, 25, 32, 33, 40, 48, 56, 61, 65, 73, 80, 81, 88]   # piano ... synth pad


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def read_mono(path, rate=RATE):
    """Any audio file -> mono float32 at rate, through sox."""
    with tempfile.TemporaryDirectory() as folder:
        converted = os.path.join(folder, "mono.wav")
        run("sox", path, "-b", "32", "-e", "floating-point", "-c", "1", converted, "rate", "-v", str(rate))
        return wavfile.read(converted)[1].astype(np.float32)


def render_midi(path, seconds):
    with tempfile.TemporaryDirectory() as folder:
        out = os.path.join(folder, "render.wav")
        run("fluidsynth", "-ni", "-g", "0.5", "-r", str(RATE), "-F", out, SOUNDFONT, path)
        return read_mono(out)[: int(seconds * RATE)]


def generated_song(rng, path, seconds):
    """A MIDI file of random phrases: a bass line, chords, a lead and drums."""
    song = mido.MidiFile(ticks_per_beat=480)
    tempo = int(rng.uniform(70, 170))
    beats = int(seconds * tempo / 60)
    root = int(rng.integers(36, 48))
    scale = np.array([0, 2, 3, 5, 7, 9, 10])
    for channel, (low, length) in enumerate(((0, 1.0), (12, 2.0), (24, 0.5))):
        track = mido.MidiTrack()
        song.tracks.append(track)
        if channel == 0:
            track.append(mido.MetaMessage("set_tempo", tempo=mido.bpm2tempo(tempo)))
        track.append(mido.Message("program_change", channel=channel, program=int(rng.choice(PROGRAMS))))
        for _ in range(int(beats / length)):
            count = 3 if channel == 1 else 1
            notes = [root + low + int(rng.choice(scale)) + 12 * int(rng.integers(0, 2)) for _ in range(count)]
            velocity = int(rng.integers(30, 127))
            for n in notes:
                track.append(mido.Message("note_on", channel=channel, note=n, velocity=velocity, time=0))
            ticks = int(480 * length)
            for i, n in enumerate(notes):
                track.append(mido.Message("note_off", channel=channel, note=n, velocity=0, time=ticks if i == 0 else 0))
    drums = mido.MidiTrack()
    song.tracks.append(drums)
    for beat in range(beats * 2):
        hits = [42] + ([36] if beat % 4 == 0 else []) + ([38] if beat % 4 == 2 else [])
        if rng.random() < 0.2:
            hits.append(int(rng.choice([45, 49, 51, 39])))
        for n in hits:
            drums.append(mido.Message("note_on", channel=9, note=n, velocity=int(rng.integers(50, 127)), time=0))
        for i, n in enumerate(hits):
            drums.append(mido.Message("note_off", channel=9, note=n, velocity=0, time=240 if i == 0 else 0))
    song.save(path)


def speech(voice, text):
    with tempfile.TemporaryDirectory() as folder:
        out = os.path.join(folder, "speech.wav")
        run("espeak-ng", "-v", voice, "-s", "150", "-w", out, text)
        return read_mono(out)


def transients(rng, seconds):
    """Kicks, snares, clicks and plucks at random times and levels."""
    out = np.zeros(int(seconds * RATE))
    t = np.arange(int(0.5 * RATE)) / RATE
    for start in rng.integers(0, out.size - t.size, size=int(seconds * 6)):
        kind = rng.integers(0, 4)
        if kind == 0:
            hit = np.sin(2 * np.pi * (45 * t + 120 * (1 - np.exp(-t * 30)) / 30)) * np.exp(-t * 8)
        elif kind == 1:
            hit = rng.standard_normal(t.size) * np.exp(-t * 25)
        elif kind == 2:
            hit = np.zeros(t.size)
            hit[: int(rng.integers(1, 8))] = rng.choice([-1.0, 1.0])
        else:
            hit = np.sin(2 * np.pi * rng.uniform(80, 4000) * t) * np.exp(-t * rng.uniform(5, 60))
        out[start:start + t.size] += hit * 10 ** rng.uniform(-2, 0)
    return out


def sweeps(rng, count):
    clips = []
    for _ in range(count):
        seconds = rng.uniform(1, 4)
        t = np.arange(int(seconds * RATE)) / RATE
        low, high = 20.0, rng.uniform(16000, 40000)
        phase = 2 * np.pi * low * seconds / np.log(high / low) * (np.exp(t / seconds * np.log(high / low)) - 1)
        clips.append(np.sin(phase))
    return clips


def noises(rng, count):
    """White, pink and brown noise, with silences and sudden level changes between pieces."""
    clips = []
    for _ in range(count):
        white = rng.standard_normal(int(rng.uniform(0.5, 2) * RATE))
        colour = rng.integers(0, 3)
        if colour:
            spectrum = np.fft.rfft(white)
            spectrum /= np.maximum(np.arange(spectrum.size), 1) ** (0.5 * colour)
            white = np.fft.irfft(spectrum, white.size)
        white /= np.max(np.abs(white))
        steps = np.repeat(10 ** rng.uniform(-3, 0, size=8), -(-white.size // 8))[: white.size]
        clips.append(np.concatenate([white * steps, np.zeros(int(rng.uniform(0.05, 0.5) * RATE))]))
    return clips


def normalised(clip):
    peak = np.max(np.abs(clip))
    return (clip / peak if peak > 0 else clip).astype(np.float32)


def make_split(split, folder):
    rng = np.random.default_rng(1 if split == "train" else 2)
    songs = SONGS[:-HELD_OUT_SONGS] if split == "train" else SONGS[-HELD_OUT_SONGS:]
    clips = [render_midi(song, SONG_SECONDS) for song in songs]
    for i in range(6 if split == "train" else 2):
        path = os.path.join(folder, f"{split}{i}.mid")
        generated_song(rng, path, 15.0)
        clips.append(render_midi(path, 15.0))
    clips += [speech(voice, text) for voice, text in SENTENCES[split]]
    clips.append(transients(rng, 30.0 if split == "train" else 10.0))
    clips += sweeps(rng, 8 if split == "train" else 3)
    clips += noises(rng, 20 if split == "train" else 6)
    clips.append(np.zeros(RATE // 2))
    clips = [normalised(c) for c in clips if c.size > 0]
    starts = np.cumsum([0] + [c.size for c in clips[:-1]])
    return np.concatenate(clips), starts


def save(path, audio, starts):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    np.savez(path, audio=audio, starts=starts)


def load(folder, rate, split):
    """(audio, starts) of a split at a model rate."""
    data = np.load(os.path.join(folder, str(rate), f"{split}.npz"))
    return data["audio"], data["starts"]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--out", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "data"))
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as folder:
        for split in ("train", "test"):
            audio, starts = make_split(split, folder)
            save(os.path.join(args.out, "96000", f"{split}.npz"), audio, starts)
            wav = os.path.join(folder, f"{split}.wav")
            wavfile.write(wav, RATE, audio)
            up = read_mono(wav, 2 * RATE)[: 2 * audio.size]
            save(os.path.join(args.out, "192000", f"{split}.npz"), up, 2 * starts)
            print(f"{split}: {len(starts)} clips, {audio.size / RATE:.0f} s")


if __name__ == "__main__":
    main()
