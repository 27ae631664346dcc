// The set's texts in its five languages (UK, FR, DE, SP, IT): every text the front end's states,
// menus, key hints, pages and the first mission look up. The glyph font holds printable ASCII
// only, so accents are left out.
#include "contentset.h"

#include <string>

namespace
{
struct Words
{
    const char* id;
    const char* text[5];
};

// Menu labels stay short: a framed menu is as wide as its widest label.
const Words kWords[] = {
    // ---- Intro, key hints, confirmations ----
    {"TX_DEMO_ENTER_TXT", {"Press Enter", "Appuyez sur Entree", "Eingabe druecken", "Pulse Intro", "Premi Invio"}},
    {"TX_CONFIRM_TXT", {"Keep this mode?", "Garder ce mode ?", "Modus behalten?", "Mantener modo?", "Tenere modo?"}},
    {"TX_SAVE_TXT", {"Save the game?", "Sauvegarder ?", "Spiel speichern?", "Guardar partida?", "Salvare?"}},
    {"TX_NOT_SAVE_TXT",
     {"Go on without saving?", "Continuer sans sauver ?", "Ohne Speichern weiter?", "Seguir sin guardar?",
      "Senza salvare?"}},
    {"TX_SHOOT_HELPER_TXT", {"Aim assist", "Aide a la visee", "Zielhilfe", "Ayuda de punteria", "Aiuto mira"}},
    {"TX_FOCUS_TXT", {"Choose", "Choisir", "Waehlen", "Elegir", "Scegli"}},
    {"TX_NEXT_TXT", {"Next", "Suivant", "Weiter", "Siguiente", "Avanti"}},
    {"TX_VALIDATE_TXT", {"Select", "Valider", "Bestaetigen", "Aceptar", "Conferma"}},
    // The credits roll a line per line feed; an empty line is a gap in the roll.
    {"TX_FRONTEND_CREDITS_TXT",
     {"Velmoran\n\nA small team's game\n\nThank you for playing",
      "Velmoran\n\nUn jeu d'une petite equipe\n\nMerci d'avoir joue",
      "Velmoran\n\nEin Spiel eines kleinen Teams\n\nDanke fuers Spielen",
      "Velmoran\n\nUn juego de un equipo pequeno\n\nGracias por jugar",
      "Velmoran\n\nUn gioco di una piccola squadra\n\nGrazie per aver giocato"}},
    {"TX_WX_OBJECTIVES_TXT", {"Objective:", "Objectif :", "Ziel:", "Objetivo:", "Obiettivo:"}},

    // ---- Main menu, difficulty, pause, confirmations ----
    {"TX_MENU_MAIN_MENU_TXT", {"Main menu", "Menu principal", "Hauptmenue", "Menu principal", "Menu principale"}},
    {"TX_MENU_MAIN_NEW_TXT", {"New game", "Nouvelle partie", "Neues Spiel", "Nueva partida", "Nuova partita"}},
    {"TX_MENU_MAIN_LOAD_TXT", {"Load game", "Charger", "Laden", "Cargar", "Carica"}},
    {"TX_MENU_MAIN_OPTIONS_TXT", {"Options", "Options", "Optionen", "Opciones", "Opzioni"}},
    {"TX_MENU_MAIN_QUIT_TXT", {"Quit", "Quitter", "Beenden", "Salir", "Esci"}},
    {"TX_MENU_DIFFICULTY_TXT", {"Difficulty", "Difficulte", "Schwierigkeit", "Dificultad", "Difficolta"}},
    {"TX_MENU_DIFFICULTY_EASY_TXT", {"Easy", "Facile", "Leicht", "Facil", "Facile"}},
    {"TX_MENU_DIFFICULTY_NORMAL_TXT", {"Normal", "Normal", "Normal", "Normal", "Normale"}},
    {"TX_MENU_DIFFICULTY_HARD_TXT", {"Hard", "Difficile", "Schwer", "Dificil", "Difficile"}},
    {"TX_MENU_PAUSE_CONTINUE_TXT", {"Continue", "Continuer", "Weiter", "Continuar", "Continua"}},
    {"TX_MENU_PAUSE_RETRY_TXT", {"Retry", "Recommencer", "Neu starten", "Reintentar", "Riprova"}},
    {"TX_MENU_PAUSE_QUIT_TXT", {"Quit", "Quitter", "Beenden", "Salir", "Esci"}},
    {"TX_MENU_PAUSE_YES_TXT", {"Yes", "Oui", "Ja", "Si", "Si"}},
    {"TX_MENU_PAUSE_NO_TXT", {"No", "Non", "Nein", "No", "No"}},
    {"TX_MENU_CONFIRM_YES_TXT", {"Yes", "Oui", "Ja", "Si", "Si"}},
    {"TX_MENU_CONFIRM_NO_TXT", {"No", "Non", "Nein", "No", "No"}},
    {"TX_MENU_COMMON_BACK_TXT", {"Back", "Retour", "Zurueck", "Volver", "Indietro"}},
    {"TX_MENU_COMMON_BACK_TO_MAIN_TXT",
     {"Back to the main menu?", "Retour au menu ?", "Zum Hauptmenue?", "Volver al menu?", "Tornare al menu?"}},
    {"TX_MENU_PLAY_VOZUV_TXT",
     {"Play as Vozuv?", "Jouer Vozuv ?", "Als Vozuv spielen?", "Jugar con Vozuv?", "Giocare con Vozuv?"}},
    {"TX_MENU_ABORT_MISSION_TXT",
     {"Abandon mission", "Abandonner", "Mission abbrechen", "Abandonar mision", "Abbandona missione"}},
    {"TX_MENU_GAMEOVER_HERO_IS_DEAD_TXT",
     {"You are dead", "Vous etes mort", "Du bist gefallen", "Has muerto", "Sei morto"}},
    {"TX_MENU_GAMEOVER_VOZUV_TXT",
     {"Vozuv has fallen", "Vozuv est tombe", "Vozuv ist gefallen", "Vozuv ha caido", "Vozuv e caduto"}},

    // ---- Options pages ----
    {"TX_MENU_VIDEO_OPTIONS_TXT", {"Video", "Video", "Grafik", "Video", "Video"}},
    {"TX_MENU_VIDEO_RESOLUTION_TXT", {"Resolution", "Resolution", "Aufloesung", "Resolucion", "Risoluzione"}},
    {"TX_MENU_VIDEO_COLOR_TXT", {"Colours", "Couleurs", "Farbtiefe", "Colores", "Colori"}},
    {"TX_MENU_VIDEO_FULLSCREEN_TXT", {"Full screen", "Plein ecran", "Vollbild", "Pantalla completa", "Schermo intero"}},
    {"TX_MENU_VIDEO_APPLY_TXT", {"Apply", "Appliquer", "Anwenden", "Aplicar", "Applica"}},
    {"TX_MENU_OPTIONS_AUDIO_TXT", {"Sound", "Son", "Ton", "Sonido", "Audio"}},
    {"TX_MENU_OPTIONS_MUSIC_TXT", {"Music", "Musique", "Musik", "Musica", "Musica"}},
    {"TX_MENU_OPTIONS_SOUND_TXT", {"Effects", "Effets", "Effekte", "Efectos", "Effetti"}},
    {"TX_MENU_OPTIONS_CONTROLS_TXT", {"Controls", "Commandes", "Steuerung", "Controles", "Comandi"}},
    {"TX_MENU_OPTIONS_MOUSE_TXT", {"Mouse speed", "Souris", "Maustempo", "Raton", "Mouse"}},
    {"TX_MENU_OPTIONS_AXE_X_TXT", {"Invert X", "Inverser X", "X umkehren", "Invertir X", "Inverti X"}},
    {"TX_MENU_OPTIONS_AXE_Y_TXT", {"Invert Y", "Inverser Y", "Y umkehren", "Invertir Y", "Inverti Y"}},
    {"TX_MENU_CHEAT_UNLIMITED_TXT",
     {"Unlimited ammo", "Munitions infinies", "Endlos Munition", "Municion infinita", "Munizioni infinite"}},

    // ---- Saves ----
    {"TX_MENU_SAVE_NEW_FILE_TXT",
     {"New save", "Nouvelle sauvegarde", "Neuer Spielstand", "Nueva partida", "Nuovo salvataggio"}},
    {"TX_MENU_SAVE_LOAD_SELECT_TXT",
     {"Choose a save", "Choisissez une sauvegarde", "Spielstand waehlen", "Elige una partida",
      "Scegli un salvataggio"}},
    {"TX_MENU_SAVE_LOAD_RETRY_TXT", {"Try again", "Reessayer", "Nochmal versuchen", "Reintentar", "Riprova"}},
    {"TX_M5_1_2_TXT",
     {"Overwrite this save?", "Ecraser cette sauvegarde ?", "Spielstand ueberschreiben?", "Sobrescribir partida?",
      "Sovrascrivere?"}},
    {"TX_M5_1_3_TXT", {"Game saved", "Partie sauvegardee", "Spiel gespeichert", "Partida guardada", "Partita salvata"}},
    {"TX_M5_1_4_TXT", {"Save here?", "Sauvegarder ici ?", "Hier speichern?", "Guardar aqui?", "Salvare qui?"}},
    {"TX_M6_0_8_TXT", {"Game loaded", "Partie chargee", "Spiel geladen", "Partida cargada", "Partita caricata"}},
    {"TX_M6_0_9_TXT",
     {"Load this game?", "Charger cette partie ?", "Diesen Stand laden?", "Cargar esta partida?",
      "Caricare questa partita?"}},
    {"TX_PCM5_0_9_TXT",
     {"The game could not be saved", "Sauvegarde impossible", "Speichern fehlgeschlagen", "No se pudo guardar",
      "Salvataggio non riuscito"}},
    {"TX_PCM6_0_2_TXT",
     {"No saved game", "Aucune sauvegarde", "Kein Spielstand", "No hay partidas", "Nessun salvataggio"}},
    {"TX_PCM6_0_7_TXT",
     {"The save could not be loaded", "Chargement impossible", "Laden fehlgeschlagen", "No se pudo cargar",
      "Caricamento non riuscito"}},

    // ---- The campaign ----
    {"TX_MISSION1_NAME_TXT", {"The farm", "La ferme", "Der Hof", "La granja", "La fattoria"}},
    {"TX_MISSION2_NAME_TXT", {"The bridge", "Le pont", "Die Bruecke", "El puente", "Il ponte"}},
    {"TX_MISSION3_NAME_TXT", {"The village", "Le village", "Das Dorf", "El pueblo", "Il villaggio"}},
    {"TX_MISSION4_NAME_TXT", {"The forest", "La foret", "Der Wald", "El bosque", "La foresta"}},
    {"TX_MISSION5_NAME_TXT", {"The depot", "Le depot", "Das Depot", "El deposito", "Il deposito"}},
    {"TX_MISSION6_NAME_TXT", {"The fort", "Le fort", "Die Festung", "El fuerte", "Il forte"}},
    {"TX_MISSION7_NAME_TXT", {"The harbour", "Le port", "Der Hafen", "El puerto", "Il porto"}},
    {"TX_MISSION1_TITLE_TXT",
     {"Behind the lines", "Derriere les lignes", "Hinter den Linien", "Tras las lineas", "Dietro le linee"}},
    {"TX_MISSION2_TITLE_TXT",
     {"Across the river", "De l'autre rive", "Ueber den Fluss", "Al otro lado del rio", "Oltre il fiume"}},
    {"TX_MISSION3_TITLE_TXT",
     {"Streets of stone", "Rues de pierre", "Steinerne Gassen", "Calles de piedra", "Strade di pietra"}},
    {"TX_MISSION4_TITLE_TXT", {"Among the pines", "Parmi les pins", "Unter Kiefern", "Entre los pinos", "Tra i pini"}},
    {"TX_MISSION5_TITLE_TXT",
     {"Fuel and fire", "Essence et feu", "Benzin und Feuer", "Combustible y fuego", "Benzina e fuoco"}},
    {"TX_MISSION6_TITLE_TXT",
     {"Walls of the north", "Murs du nord", "Mauern im Norden", "Muros del norte", "Mura del nord"}},
    {"TX_MISSION7_TITLE_TXT",
     {"Last crossing", "Derniere traversee", "Letzte Ueberfahrt", "Ultima travesia", "Ultima traversata"}},
    {"TX_W1_STORY_TXT",
     {"Autumn night. Cut off from your unit, reach the old farmhouse and silence its guard before dawn.",
      "Nuit d'automne. Coupe de votre unite, atteignez la vieille ferme et neutralisez son garde avant l'aube.",
      "Herbstnacht. Von der Einheit getrennt, erreiche den alten Hof und schalte die Wache vor dem Morgen aus.",
      "Noche de otono. Separado de tu unidad, llega a la vieja granja y neutraliza al guardia antes del alba.",
      "Notte d'autunno. Separato dalla tua unita, raggiungi la vecchia fattoria e neutralizza la guardia prima "
      "dell'alba."}},
    {"TX_W2_STORY_TXT",
     {"The only bridge for miles is guarded. Cross it before the convoy comes.",
      "Le seul pont de la region est garde. Traversez-le avant le convoi.",
      "Die einzige Bruecke weit und breit wird bewacht. Ueberquere sie vor dem Konvoi.",
      "El unico puente en millas esta vigilado. Cruzalo antes del convoy.",
      "L'unico ponte per miglia e sorvegliato. Attraversalo prima del convoglio."}},
    {"TX_W3_STORY_TXT",
     {"A village held street by street. Find the radio and call for help.",
      "Un village tenu rue par rue. Trouvez la radio et appelez des renforts.",
      "Ein Dorf, Gasse um Gasse besetzt. Finde das Funkgeraet und rufe Hilfe.",
      "Un pueblo tomado calle a calle. Encuentra la radio y pide ayuda.",
      "Un villaggio tenuto strada per strada. Trova la radio e chiama aiuto."}},
    {"TX_W4_STORY_TXT",
     {"Patrols sweep the forest. Slip through to the clearing unseen.",
      "Des patrouilles fouillent la foret. Gagnez la clairiere sans etre vu.",
      "Patrouillen durchkaemmen den Wald. Erreiche ungesehen die Lichtung.",
      "Las patrullas rastrean el bosque. Llega al claro sin ser visto.",
      "Le pattuglie setacciano la foresta. Raggiungi la radura senza farti vedere."}},
    {"TX_W5_STORY_TXT",
     {"The fuel depot feeds the whole front. It must burn tonight.",
      "Le depot de carburant nourrit tout le front. Il doit bruler cette nuit.",
      "Das Treibstoffdepot versorgt die ganze Front. Es muss heute Nacht brennen.",
      "El deposito abastece a todo el frente. Debe arder esta noche.",
      "Il deposito rifornisce tutto il fronte. Deve bruciare stanotte."}},
    {"TX_W6_STORY_TXT",
     {"The old fort guards the coast road. Open its gate from inside.",
      "Le vieux fort garde la route cotiere. Ouvrez sa porte de l'interieur.",
      "Die alte Festung bewacht die Kuestenstrasse. Oeffne ihr Tor von innen.",
      "El viejo fuerte vigila la carretera. Abre su puerta desde dentro.",
      "Il vecchio forte sorveglia la strada costiera. Apri il cancello da dentro."}},
    {"TX_W7_STORY_TXT",
     {"One boat leaves before sunrise. Be on it.", "Un bateau part avant l'aube. Soyez a bord.",
      "Ein Boot legt vor Sonnenaufgang ab. Sei an Bord.", "Un barco sale antes del alba. Sube a bordo.",
      "Una barca parte prima dell'alba. Sali a bordo."}},

    // ---- Weapons ----
    {"TX_WEP_COLT_NAME_TXT", {"Pistol", "Pistolet", "Pistole", "Pistola", "Pistola"}},
    {"TX_WEP_GARAND_NAME_TXT", {"Rifle", "Fusil", "Gewehr", "Fusil", "Fucile"}},
    {"TX_WEP_KNIFE_NAME_TXT", {"Knife", "Couteau", "Messer", "Cuchillo", "Coltello"}},
    {"TX_WEP_MAUSER_NAME_TXT",
     {"Bolt rifle", "Fusil a verrou", "Repetiergewehr", "Fusil de cerrojo", "Fucile a otturatore"}},
    {"TX_WEP_MG42_NAME_TXT", {"Machine gun", "Mitrailleuse", "Maschinengewehr", "Ametralladora", "Mitragliatrice"}},
    {"TX_WEP_MP40_NAME_TXT", {"Submachine gun", "Pistolet-mitrailleur", "Maschinenpistole", "Subfusil", "Mitra"}},
    {"TX_WEP_PANZER_NAME_TXT", {"Rocket launcher", "Lance-roquettes", "Raketenwerfer", "Lanzacohetes", "Lanciarazzi"}},
    {"TX_WEP_THOMPSON_NAME_TXT", {"Drum gun", "Mitraillette", "Trommel-MP", "Metralleta", "Mitraglietta"}},

    // ---- The in-game log ----
    {"TX_TUTORIAL_02_MAP_TXT", {"Press Tab for the map", "Tab : la carte", "Tab: Karte", "Tab: mapa", "Tab: mappa"}},
    {"TX_TUTORIAL_02_MAP_WIN32_TXT",
     {"Press Tab for the map", "Appuyez sur Tab pour la carte", "Tab druecken fuer die Karte",
      "Pulsa Tab para ver el mapa", "Premi Tab per la mappa"}},

    // ---- The first sector's pages and objectives ----
    {"TX_W1L1S01_LABEL_1_TXT",
     {"Autumn, somewhere behind the lines. The farmhouse lies beyond the yard wall.",
      "Automne, quelque part derriere les lignes. La ferme se trouve derriere le mur de la cour.",
      "Herbst, irgendwo hinter den Linien. Der Hof liegt hinter der Mauer.",
      "Otono, tras las lineas. La granja esta al otro lado del muro.",
      "Autunno, dietro le linee. La fattoria e oltre il muro del cortile."}},
    {"TX_W1L1S01_LABEL_2_TXT",
     {"A guard walks the yard. Reach the house, then deal with him.",
      "Un garde patrouille dans la cour. Atteignez la maison, puis occupez-vous de lui.",
      "Eine Wache geht im Hof auf und ab. Erreiche das Haus und schalte sie aus.",
      "Un guardia recorre el patio. Llega a la casa y luego encargate de el.",
      "Una guardia pattuglia il cortile. Raggiungi la casa, poi occupati di lui."}},
    {"TX_W1L1S01_LABELEND_TXT",
     {"The farm is quiet again. The road north is open.", "La ferme est calme. La route du nord est ouverte.",
      "Auf dem Hof ist es still. Der Weg nach Norden ist frei.",
      "La granja esta en calma. El camino al norte esta libre.",
      "La fattoria e tranquilla. La strada a nord e libera."}},
    {"TX_W1L1S01_LABELMIDDLE_TXT",
     {"The door gives way. Inside, the house is dark.", "La porte cede. Dedans, la maison est sombre.",
      "Die Tuer gibt nach. Drinnen ist es dunkel.", "La puerta cede. Dentro, la casa esta a oscuras.",
      "La porta cede. Dentro, la casa e buia."}},
    {"TX_W1L1S01_ARTWORK_1_TXT",
     {"Sketch: the farmhouse at dusk", "Croquis : la ferme au crepuscule", "Skizze: der Hof in der Daemmerung",
      "Boceto: la granja al anochecer", "Schizzo: la fattoria al tramonto"}},
    {"TX_W1L1S01_ARTWORK_2_TXT",
     {"Sketch: the guard's round", "Croquis : la ronde du garde", "Skizze: die Runde der Wache",
      "Boceto: la ronda del guardia", "Schizzo: il giro della guardia"}},
    {"TX_W1L1S01_OBJECTIVE_1_TXT",
     {"Reach the yard of the farmhouse", "Atteindre la cour de la ferme", "Den Hof des Bauernhauses erreichen",
      "Llegar al patio de la granja", "Raggiungere il cortile della fattoria"}},
    {"TX_W1L1S01_OBJECTIVE_2_TXT",
     {"Neutralise the guard", "Neutraliser le garde", "Den Wachposten ausschalten", "Neutralizar al guardia",
      "Neutralizzare la guardia"}},
    {"TX_W1L1S01_OBJECTIVE_1_DONE_TXT",
     {"The yard is reached", "La cour est atteinte", "Der Hof ist erreicht", "Patio alcanzado", "Cortile raggiunto"}},
    {"TX_W1L1S01_OBJECTIVE_2_DONE_TXT",
     {"The guard is down", "Le garde est a terre", "Der Wachposten ist erledigt", "Guardia abatido",
      "Guardia abbattuta"}},
};
} // namespace

const std::vector<std::string>& ContentTextIds()
{
    static const std::vector<std::string> ids = []
    {
        std::vector<std::string> all;
        for (const Words& words : kWords)
            all.push_back(words.id);
        return all;
    }();
    return ids;
}

std::string ContentText(const std::string& id, size_t language)
{
    if (language >= 5)
        return std::string();
    for (const Words& words : kWords)
        if (id == words.id)
            return words.text[language];
    return std::string();
}
